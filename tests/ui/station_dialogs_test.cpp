// The setup wizard and the Broadcast Information dialog in the studio with windows, against the
// service emulator and Icecast, filled in and clicked through as a member does.

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <regex>

#include "core/program_values.h"
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

  // The server name Icecast shows for the mount, from its status page, once it is `expected`
  // (Icecast's statistics follow a new source a little later) or 30 s have passed.
  std::string serverName(const std::string& expected) {
    std::string status;
    std::smatch name;
    for (auto end = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < end;
         QTest::qWait(200)) {
      status = test::httpGetLoopback(icecast.port(), "/status-json.xsl").value_or("");
      if (std::regex_search(status, name, std::regex("\"server_name\":\"([^\"]*)\"")) && name[1] == expected)
        break;
    }
    return name.empty() ? "" : name[1].str();
  }
};

TEST_F(StationDialogs, AFirstRunThroughTheWizardStoresTheStation) {
  test::ScopedChdir here(work());
  std::string settings = scratch.file("first-run/settings.ini");
  SettingsRegistry registry(settings);
  programValues().setRegistry(&registry);
  std::string pages;
  bool busy = false;  // between a page's turn and the end of its click
  test::DialogDriver dialogs([&] {
    QWidget* wizard = shownWindow("SetupWizard");
    if (!wizard || busy) return;
    busy = true;
    // Posted: Next may ask a question, which the driver answers while the click waits.
    QTimer::singleShot(0, wizard, [&, wizard] {
      std::string page = element<QLabel>(*wizard, 1200)->text().toStdString();
      pages += page + "|";
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
            "Zelvora|Zelvora : Login Data|Zelvora : Title|Zelvora : URL|Zelvora : Connection|"
            "Zelvora : Add files...|Zelvora : Done|");
  std::string stored;
  for (const char* name :
       {"username", "pass", "message", "url", "genre", "bitrate", "output_bitrate", "livetag"})
    stored += std::string(name) + "=" + registry.open(profileKeyPath())->query(name).value_or("-") + "\n";
  EXPECT_EQ(
      stored,
      "username=demo\npass=demo-secret\nmessage=Wizard tonesicy-pub: 0\nurl=http://radio.example/wizard\n"
      "genre=Alternative\nbitrate=56000\noutput_bitrate=24000\nlivetag=1\n");
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
    EXPECT_EQ(serverName("[Zelvora]Test tones[*]"), "[Zelvora]Test tones[*]");

    window.findChild<QAction*>("id32781")->trigger();  // Broadcast Info...
    QWidget* info = shownWindow("BroadcastInfoDialog");
    ASSERT_TRUE(info);
    type(*info, 1235, "Night tones");
    click(*info, 1);
    EXPECT_EQ(serverName("[Zelvora]Night tones[*]"), "[Zelvora]Night tones[*]");
    EXPECT_EQ(registry.open(profileKeyPath())->query("message"), "Night tones") << "saved at once";
    click(window, 1020);
    window.shutDown(true);
  }
  programValues().setRegistry(nullptr);
}

}  // namespace
}  // namespace brovana
