// The main window's menu: every command id with its text, its mark and its accelerator.

#include <gtest/gtest.h>

#include <QAction>
#include <QRegularExpression>

#include "app/mini_window.h"
#include "app/qt_prompts.h"
#include "app/qt_studio_parts.h"
#include "core/registry.h"
#include "platform/lame_codec.h"
#include "support/fake_http_client.h"

namespace brovana {
namespace {

TEST(MainWindowMenu, CarriesEveryCommandWithItsTextMarkAndAccelerator) {
  MemoryRegistry registry;
  test::FakeHttpClient http;
  QtPrompts prompts;
  QtProgramExit exit;
  LameCodec codec;
  QtStudioParts parts(prompts, codec, nullptr);
  MiniWindow window(
      StudioContext{"www.zelvora.example", registry, http, prompts, exit, parts, nullptr, std::nullopt});

  enum Mark { None, Check, Radio };
  struct Command {
    int id;
    const char* text;
    Mark mark;
    const char* accelerator;
  } commands[] = {
      {32781, "Broadcast Info...", None, ""},
      {32772, "New Broadcast ...", None, ""},
      {32787, "Continuous Loop", Check, ""},
      {32786, "Random", Check, ""},
      {32771, "Status...", None, "Ctrl+S"},
      {32807, "Stream Quality...", None, ""},
      {32790, "Exit", None, "Ctrl+E"},
      {32782, "Playlist", Radio, ""},
      {32794, "Voiceover...", None, ""},
      {32783, "CD", Radio, ""},
      {32784, "Line In", Radio, ""},
      {32785, "Microphone", Radio, ""},
      {32821, "Mixer", Radio, ""},
      {32804, "Volume...", None, ""},
      {32778, "Change Skins...", None, ""},
      {32795, "Normal", Radio, ""},
      {32796, "Medium", Radio, ""},
      {32797, "High", Radio, ""},
      {32806, "Restart server", None, ""},
      {32792, "Show Log...", None, ""},
      {32808, "Switch to %s", None, ""},
      {32812, "Submit Program Info...", None, ""},
      {32801, "Scope", Check, ""},
      {32800, "Spectrum", Check, ""},
      {32799, "VU - scrolling", Check, ""},
      {32805, "VU - stereo", Check, ""},
      {32816, "About Brovana-Live...", None, ""},
      {32811, "Help...", None, ""},
      {32814, "Tips 'n Tricks...", None, ""},
      {32822, "Why does my stream break up?", None, ""},
      {32819, "Bug Report...", None, ""},
      {32818, "Question...", None, ""},
      {32820, "Tell a friend...", None, ""},
      {32826, "Save to file...", Check, ""},
      {38000, "-none-", Radio, ""},
  };
  for (const Command& command : commands) {
    auto* action = window.findChild<QAction*>(QStringLiteral("id%1").arg(command.id));
    ASSERT_NE(action, nullptr) << command.id;
    EXPECT_EQ(action->text().toStdString(), command.text) << command.id;
    EXPECT_EQ(action->isCheckable(), command.mark != None) << command.id;
    EXPECT_EQ(action->actionGroup() != nullptr, command.mark == Radio) << command.id;
    EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromLatin1(command.accelerator))) << command.id;
  }
  EXPECT_EQ(window.findChildren<QAction*>(QRegularExpression("^id\\d+$")).size(), std::size(commands))
      << "no command beyond these";
}

}  // namespace
}  // namespace brovana
