#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <thread>

#include "app/quality_window.h"
#include "support/log_tail.h"

namespace brovana {
namespace {

TEST(QualityWindowTest, GaugeOnAWorkerThreadFillsTheLabelsAndShowsTheWindowAtTheFourthDropout) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "monitor_windows_ui", *argv[] = {name, nullptr};
  QApplication app(argc, argv);
  test::LogTail log;  // the dropout lines go to a scratch log
  StreamQualityWindow window([] {});
  std::thread([gauge = window.gauge()] {
    gauge->setCpuQuality(0.5f);
    for (int i = 0; i < 4; ++i) gauge->setNetworkQuality(40000, 32000), gauge->setNetworkQuality(100, 32000);
  }).join();
  QElapsedTimer timer;
  for (timer.start(); !window.isVisible() && timer.elapsed() < 10000;) QApplication::processEvents();
  ASSERT_TRUE(window.isVisible());
  auto label = [&](int id) { return window.findChild<QLabel*>(QStringLiteral("id%1").arg(id))->text(); };
  EXPECT_EQ(label(kQualityCpuLabel), "50.0%");
  EXPECT_EQ(label(kQualityNetworkLabel), "100 (32000) bps");
  EXPECT_EQ(label(kQualityDropoutsLabel), "4 ");
  EXPECT_EQ(label(kQualityStatusLabel), kStreamDropoutsText);
}

}  // namespace
}  // namespace brovana
