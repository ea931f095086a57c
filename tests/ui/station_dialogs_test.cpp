// The setup wizard and the Broadcast Information dialog in the studio with windows, against the
// service emulator and Icecast, filled in and clicked through as a member does.

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "broadcast/program_values.h"
#include "core/registry.h"
#include "dialog_driver.h"
#include "platform/settings_registry.h"
#include "studio_peers.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class StationDialogs : public test::StudioPeers {
 protected:
  template <typename Widget = QWidget>
  static Widget* element(QWidget& window, int id) {
    return window.findChild<Widget*>(QStringLiteral("id%1").arg(id));
  }
  static QWidget* shownWindow(const char* name) {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->objectName() == QLatin1String(name) && window->isVisible()) return window;
    return nullptr;
  }
  static void click(QWidget& window, int id) {
    QTest::mouseClick(element<QPushButton>(window, id), Qt::LeftButton);
  }
  static void type(QWidget& window, int id, const char* text) {
    element<QLineEdit>(window, id)->setText(text);
  }
  static void choose(QWidget& window, int id, int position) {
    auto* list = element<QComboBox>(window, id);
    list->setCurrentIndex(position);
    emit list->activated(position);
  }

  // The server name Icecast shows for the mount, from its status page.
  std::string serverName() {
    std::string status = test::httpGetLoopback(icecast.port(), "/status-json.xsl").value_or("");
    const std::string key = "\"server_name\":\"";
    size_t start = status.find(key);
    if (start == std::string::npos) return {};
    start += key.size();
    return status.substr(start, status.find('"', start) - start);
  }
};

TEST_F(StationDialogs, AFirstRunThroughTheWizardStoresTheStation) {
  test::ScopedChdir here(work());
  std::string settings = scratch.file("first-run/settings.ini");
  SettingsRegistry registry(settings);
  programValues().setRegistry(&registry);
  std::vector<std::string> pages;
  bool busy = false;  // between a page's turn and the end of its click
  test::DialogDriver dialogs([&] {
    QWidget* wizard = shownWindow("SetupWizard");
    if (!wizard || busy) return;
    busy = true;
    // Posted: Next may ask a question, which the driver answers while the click waits.
    QTimer::singleShot(0, wizard, [&, wizard] {
      std::string page = element<QLabel>(*wizard, 1200)->text().toStdString();
      pages.push_back(page);
      if (page == "Zelvora : Login Data") {
        type(*wizard, 1206, "demo");
        type(*wizard, 1208, "demo-secret");
      } else if (page == "Zelvora : Title") {
        type(*wizard, 1210, "Wizard tones\r\nicy-pub: 0");  // a pasted line end goes no further
      } else if (page == "Zelvora : URL") {
        type(*wizard, 1219, "radio.example/wizard");
      } else if (page == "Zelvora : Connection") {
        choose(*wizard, 1221, 1);  // 56K modem
        choose(*wizard, 1223, 1);  // 24Kbps (mono)
      }
      click(*wizard, page == "Zelvora : Done" ? 12325 : 12324);
      busy = false;
    });
  });
  dialogs.answer("Do you already have an account on Zelvora?", true);
  dialogs.answer("Are you sure you want to continue without adding any tracks", true);
  {
    test::WindowedStudio studio(emulator.webHost(), registry);
    ASSERT_TRUE(studio.window.initialise());
    studio.window.shutDown(true);
  }
  programValues().setRegistry(nullptr);
  EXPECT_EQ(pages,
            (std::vector<std::string>{"Zelvora", "Zelvora : Login Data", "Zelvora : Title", "Zelvora : URL",
                                      "Zelvora : Connection", "Zelvora : Add files...", "Zelvora : Done"}));
  auto stored = registry.open(profileKeyPath());
  ASSERT_TRUE(stored) << test::fileText(settings);
  for (auto [name, value] : {std::pair{"username", "demo"},
                             {"pass", "demo-secret"},
                             {"message", "Wizard tonesicy-pub: 0"},
                             {"url", "http://radio.example/wizard"},
                             {"genre", "Alternative"},
                             {"genre1", "Indie Rock"},
                             {"bitrate", "56000"},
                             {"output_bitrate", "24000"},
                             {"livetag", "1"}})
    EXPECT_EQ(stored->query(name), value) << name;
}

TEST_F(StationDialogs, ANewTitleOnTheAirRestartsTheBroadcastUnderIt) {
  test::ScopedChdir here(work());
  SettingsRegistry registry(settingsPath());
  programValues().setRegistry(&registry);
  test::DialogDriver dialogs;
  dialogs.answer("Your broadcast needs to be restarted", true);
  dialogs.answer("Unable to connect to your Zelvora server", true);  // Icecast may still hold the mount
  {
    test::WindowedStudio studio(emulator.webHost(), registry);
    MiniWindow& window = studio.window;
    ASSERT_TRUE(window.initialise());
    window.show();
    ASSERT_TRUE(window.supervisor()->playlistWindow()->loadPlaylist(playlist()));
    click(window, 1020);
    ASSERT_TRUE(test::listenWhenServed(icecast));
    EXPECT_EQ(serverName(), "[Zelvora]Test tones[*]");

    window.findChild<QAction*>("id32781")->trigger();  // Broadcast Info...
    QWidget* info = shownWindow("BroadcastInfoDialog");
    ASSERT_TRUE(info);
    type(*info, 1235, "Night tones");
    click(*info, 1);
    auto deadline = std::chrono::steady_clock::now() + 30s;
    while (serverName() != "[Zelvora]Night tones[*]" && std::chrono::steady_clock::now() < deadline)
      QTest::qWait(200);
    EXPECT_EQ(serverName(), "[Zelvora]Night tones[*]");
    EXPECT_FALSE(info->isVisible());
    EXPECT_EQ(registry.open(profileKeyPath())->query("message"), "Night tones") << "saved at once";
    click(window, 1020);
    window.shutDown(true);
  }
  EXPECT_TRUE(dialogs.saw("Your broadcast needs to be restarted, in order to change these elements."));
  programValues().setRegistry(nullptr);
}

}  // namespace
}  // namespace brovana
