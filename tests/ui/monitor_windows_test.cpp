#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <thread>

#include "app/quality_window.h"
#include "app/visuals_widget.h"
#include "monitor/line_quality.h"
#include "support/log_tail.h"

namespace brovana {
namespace {

// Runs the GUI thread's queue until `done` holds or 10 s pass.
template <typename Done>
bool processUntil(Done done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

class MonitorWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "monitor_windows_ui";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }
};

TEST_F(MonitorWindowsTest, GaugeOnAWorkerThreadFillsTheLabelsAndShowsTheWindowAtTheFourthDropout) {
  test::LogTail log;  // the dropout lines go to a scratch log
  int helpAsked = 0;
  StreamQualityWindow window([&] { ++helpAsked; });
  std::thread source([gauge = window.gauge()] {
    gauge->setCpuQuality(0.5f);
    for (int i = 0; i < 4; ++i) gauge->setNetworkQuality(40000, 32000), gauge->setNetworkQuality(100, 32000);
  });
  source.join();
  auto label = [&](int id) { return window.findChild<QLabel*>(QStringLiteral("id%1").arg(id)); };
  ASSERT_TRUE(processUntil([&] { return window.isVisible(); }));
  EXPECT_EQ(label(kQualityCpuLabel)->text(), "50.0%");
  EXPECT_EQ(label(kQualityNetworkLabel)->text(), "100 (32000) bps");
  EXPECT_EQ(label(kQualityDropoutsLabel)->text(), "4 ");
  EXPECT_EQ(label(kQualityStatusLabel)->text(), kStreamDropoutsText);
  window.findChild<QPushButton*>("id1107")->click();
  EXPECT_EQ(helpAsked, 1);
}

TEST_F(MonitorWindowsTest, VisualsAreaPaintsTheFramesOfItsDrawingThread) {
  VisualsWidget widget;
  widget.resize(200, 40);
  widget.show();
  std::vector<int16_t> full(2 * 2000, 32767);
  std::thread source([&] {
    widget.feed()->addData(reinterpret_cast<const uint8_t*>(full.data()), static_cast<int>(full.size() * 2),
                           2, 2);
  });
  source.join();
  // The left needle stands on the bottom edge at a quarter of the width.
  EXPECT_TRUE(processUntil([&] { return widget.grab().toImage().pixel(50, 39) == qRgb(255, 0, 0); }));
}

}  // namespace
}  // namespace brovana
