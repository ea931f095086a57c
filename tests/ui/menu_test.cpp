// The main window's menu: every command id with its text, its mark and its accelerator, and no
// command beyond these.

#include <gtest/gtest.h>

#include <QAction>
#include <QRegularExpression>
#include <set>

#include "core/registry.h"
#include "studio_peers.h"

namespace brovana {
namespace {

TEST(MainWindowMenu, CarriesEveryCommandWithItsTextMarkAndAccelerator) {
  MemoryRegistry registry;
  test::WindowedStudio studio("www.zelvora.example", registry);

  // Each command as "ID TEXT", then " [x]" for a check mark or " (o)" for a radio mark, then its
  // accelerator; by menu.
  const std::string expected =
      "32781 Broadcast Info...|32772 New Broadcast ...|32787 Continuous Loop [x]|32786 Random [x]|"
      "32771 Status... Ctrl+S|32807 Stream Quality...|32790 Exit Ctrl+E|"
      "32782 Playlist (o)|32794 Voiceover...|32783 CD (o)|32784 Line In (o)|32785 Microphone (o)|"
      "32821 Mixer (o)|32804 Volume...|32778 Change Skins...|"
      "32795 Normal (o)|32796 Medium (o)|32797 High (o)|"
      "32806 Restart server|32792 Show Log...|32808 Switch to %s|32812 Submit Program Info...|"
      "32801 Scope [x]|32800 Spectrum [x]|32799 VU - scrolling [x]|32805 VU - stereo [x]|"
      "32816 About Brovana-Live...|32811 Help...|32814 Tips 'n Tricks...|32822 Why does my stream break up?|"
      "32819 Bug Report...|32818 Question...|32820 Tell a friend...|32826 Save to file... [x]|"
      "38000 -none- (o)";
  std::set<std::string> wanted, found;
  for (size_t at = 0, end; at < expected.size(); at = end + 1)
    wanted.insert(expected.substr(at, (end = std::min(expected.find('|', at), expected.size())) - at));
  for (QAction* action : studio.window.findChildren<QAction*>(QRegularExpression("^id\\d+$"))) {
    std::string mark = !action->isCheckable() ? "" : action->actionGroup() ? " (o)" : " [x]";
    std::string keys = action->shortcut().toString().toStdString();
    found.insert(action->objectName().mid(2).toStdString() + " " + action->text().toStdString() + mark +
                 (keys.empty() ? "" : " " + keys));
  }
  EXPECT_EQ(found, wanted);
}

}  // namespace
}  // namespace brovana
