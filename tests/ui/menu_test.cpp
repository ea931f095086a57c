// The main window's menu holds together: each command once, with a caption and its own
// accelerator; whole radio groups; separators only between items; and the command ids that the
// core marks on its own (the sources, the plug-ins' "-none-") are radio items of the menu.

#include <gtest/gtest.h>

#include <QActionGroup>
#include <QMenuBar>
#include <functional>
#include <set>

#include "audio/dsp_host.h"
#include "broadcast/source_desk.h"
#include "core/registry.h"
#include "studio_peers.h"

namespace brovana {
namespace {

// Every entry of the menus and submenus (command, separator or submenu), with the entries of its menu.
struct Entry {
  QAction* action;
  QList<QAction*> menu;
  qsizetype at;
};
std::vector<Entry> entriesOf(const QList<QAction*>& menu) {
  std::vector<Entry> entries;
  for (qsizetype at = 0; at < menu.size(); ++at) {
    entries.push_back({menu[at], menu, at});
    if (QMenu* sub = menu[at]->menu())
      std::ranges::move(entriesOf(sub->actions()), std::back_inserter(entries));
  }
  return entries;
}
bool isCommand(const QAction* a) {
  return !a->isSeparator() && !a->menu();
}

TEST(MainWindowMenu, EveryEntryFollowsTheRulesOfAMenu) {
  MemoryRegistry registry;
  test::WindowedStudio studio("www.zelvora.example", registry);
  const std::vector<Entry> entries = entriesOf(studio.window.menuBar()->actions());
  auto usedTwice = [&](QString (*key)(const QAction*)) {
    return [&, key](const Entry& e) {
      return isCommand(e.action) && !key(e.action).isEmpty() &&
             std::ranges::count_if(
                 entries, [&](auto& o) { return isCommand(o.action) && key(o.action) == key(e.action); }) > 1;
    };
  };
  const std::pair<const char*, std::function<bool(const Entry&)>> rules[] = {
      {"a command without an id",
       [](auto& e) { return isCommand(e.action) && e.action->objectName().mid(2).toInt() <= 0; }},
      {"an id used twice", usedTwice([](const QAction* a) { return a->objectName(); })},
      {"an accelerator used twice", usedTwice([](const QAction* a) { return a->shortcut().toString(); })},
      {"no caption",
       [](auto& e) { return !e.action->isSeparator() && e.action->text().remove('&').trimmed().isEmpty(); }},
      {"a separator first, last or doubled",
       [](auto& e) {
         return e.action->isSeparator() &&
                (e.at == 0 || e.at + 1 == e.menu.size() || e.menu[e.at - 1]->isSeparator());
       }},
      // Radio items are marked, exclusive, and stand together in their menu in the group's order.
      {"a radio item unmarked, not exclusive or apart from its group",
       [](auto& e) {
         QActionGroup* g = e.action->actionGroup();
         return g && (!e.action->isCheckable() || !g->isExclusive() ||
                      e.menu.mid(e.menu.indexOf(g->actions().front()), g->actions().size()) != g->actions());
       }},
  };
  ASSERT_GT(std::ranges::count_if(entries, [](auto& e) { return isCommand(e.action); }), 30);
  for (const auto& [rule, breaks] : rules) {
    std::string broken;
    for (const Entry& e : entries)
      if (breaks(e))
        broken += "[" + e.action->objectName().toStdString() + " " + e.action->text().toStdString() + "]";
    EXPECT_EQ(broken, "") << rule;
  }

  // The core marks these on its own: the sources, as a radio group of their own, and the plug-ins' "-none-".
  std::set<std::string> sources, group;
  for (Source source : {Source::Playlist, Source::Cd, Source::LineIn, Source::Microphone, Source::Mixer})
    sources.insert("id" + std::to_string(sourceCommandId(source)));
  if (auto* playlist = studio.window.findChild<QAction*>(QString::fromStdString(*sources.begin()));
      playlist && playlist->actionGroup())
    for (QAction* a : playlist->actionGroup()->actions()) group.insert(a->objectName().toStdString());
  EXPECT_EQ(group, sources);
  auto* none = studio.window.findChild<QAction*>(QStringLiteral("id%1").arg(DspHost::kMenuNone));
  EXPECT_TRUE(none && none->actionGroup());
}

}  // namespace
}  // namespace brovana
