// The Servers dialog over its editor, and the status window's rows of the extra servers.

#include "app/servers_dialog.h"

#include <gtest/gtest.h>

#include <QTest>

#include "app/skin/skin.h"
#include "app/status_window.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "monitor/status_display.h"

namespace brovana {
namespace {

class RefusingClient final : public SourceClient {
 public:
  std::string open(const std::atomic<bool>&) override { return "the server refused the log-in"; }
  bool send(std::span<const uint8_t>) override { return false; }
  size_t backlog() override { return 0; }
  bool setTitle(const std::string&) override { return false; }
  void close() override {}
  std::string error() override { return {}; }
};

// What is typed goes through the core's checks into the store; a test's answer arrives from the
// background into the dialog.
TEST(ServersDialogTest, TypedServersAreCheckedStoredAndTestedInTheBackground) {
  MemoryRegistry registry;
  QtServersDialog dialog(
      registry, [](const ServerAddress&, const StreamFacts&) { return std::make_unique<RefusingClient>(); });
  QWidget& window = dialog.widget();
  auto field = [&](const char* name) { return window.findChild<QLineEdit*>(QString::fromLatin1(name)); };
  auto click = [&](const char* name) {
    QTest::mouseClick(window.findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
  };
  auto* list = window.findChild<QListWidget*>(QStringLiteral("ServerList"));
  auto* result = window.findChild<QLabel*>(QStringLiteral("Result"));

  field("Host")->setText(QStringLiteral("relay.example.org"));
  field("Password")->setText(QStringLiteral("pw"));
  field("Name")->setText(QStringLiteral("Relay"));
  click("Add");
  ASSERT_EQ(list->count(), 1);
  EXPECT_TRUE(
      list->item(0)->text().startsWith(QStringLiteral("Relay - icecast://relay.example.org:8000/live")));
  ASSERT_EQ(loadExtraServers(registry, kProfileName).size(), 1u);

  field("Port")->setText(QStringLiteral("eighty"));
  click("Add");
  EXPECT_EQ(list->count(), 1);
  EXPECT_TRUE(result->text().contains(QStringLiteral("port \"eighty\""))) << result->text().toStdString();

  field("Port")->setText(QStringLiteral("8000"));
  click("Test");
  EXPECT_TRUE(QTest::qWaitFor([&] { return result->text().contains(QStringLiteral("refused the log-in")); }));
  click("Remove");
  EXPECT_EQ(list->count(), 0);
  EXPECT_TRUE(loadExtraServers(registry, kProfileName).empty());
}

TEST(ServersDialogTest, TheStatusWindowShowsARowForEachServerThatReported) {
  QtStatusWindow window;
  StatusDisplay status(&window);
  status.showExtraServer(1, "Relay: on the air, 12 KB sent, 0 reconnects");
  auto label = [&](int id) { return window.widget().findChild<QLabel*>(elementName(id)); };
  const int row = kLabelExtraServer + 1;
  auto hidden = [&] {
    return std::pair(label(row)->isHidden(), label(row + kStatusCaptionOffset)->isHidden());
  };
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return label(row)->text() == "Relay: on the air, 12 KB sent, 0 reconnects"; }));
  EXPECT_EQ(hidden(), std::pair(false, false));
  EXPECT_TRUE(label(kLabelExtraServer)->isHidden() && label(row + 1)->isHidden())
      << "only the row that reported";
  status.showExtraServer(1, "");  // its server left the list
  EXPECT_TRUE(QTest::qWaitFor([&] { return hidden() == std::pair(true, true); }));
}

}  // namespace
}  // namespace brovana
