// The status window: paired figures in two columns, each labelled.

#include "app/status_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "app/skin/skin.h"
#include "monitor/status_display.h"

namespace brovana {
namespace {

TEST(StatusWindowTest, PairedFiguresShowInTwoLabelledColumns) {
  QtStatusWindow window;
  const std::tuple<int, std::string, QString, QString> cases[] = {
      {kLabelTrackTimes, "0:01:42" + std::string(17, ' ') + "0:02:18", "0:01:42", "0:02:18"},
      {kLabelPlaylistTimes, "0:09:12", "0:09:12", ""},
      {kLabelTrackNumber, "3  of many", "3  of many", ""},  // a single figure is never split
  };
  for (const auto& [id, text, first, second] : cases) {
    window.setLabel(id, text);
    auto* value = window.widget().findChild<QLabel*>(elementName(id));
    auto* rest = window.widget().findChild<QLabel*>(elementName(id) + "left");
    EXPECT_TRUE(QTest::qWaitFor([&] { return value->text() == first; })) << id;
    EXPECT_EQ(rest ? rest->text() : QString(), second) << id;
    EXPECT_EQ(rest != nullptr, window.widget().findChild<QLabel*>(elementName(id + 2000)) != nullptr);
  }
}

}  // namespace
}  // namespace brovana
