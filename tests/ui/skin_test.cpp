// The skin layer: reading skin files, the panel colour rule, the fallbacks, and what applying a
// skin does to a window.

#include "app/skin/skin.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "app/message_dialogs.h"
#include "app/skin/readable_text.h"
#include "app/skin_chooser.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "support/fake_prompts.h"
#include "support/log_tail.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

constexpr SkinColour kGreen = kDefaultStatusTextColour;
constexpr SkinColour kBlack = kDefaultStatusPanelColour;

TEST(SkinFile, PanelColoursFollowTheRuleAndFallBackWhenMalformed) {
  const std::tuple<const char*, SkinColour, SkinColour> cases[] = {
      // [Panel], text, background
      {"statustextcolor=(10,20,30)\nstatuspanelcolor=(1,2,3)", skinColour(10, 20, 30), skinColour(1, 2, 3)},
      {"StatusTextColor = ( 255 , 0 , 128 )", skinColour(255, 0, 128), kBlack},
      {"statustextcolor=(0,0,0)", kGreen, kBlack},  // 0 reads as "not given"
      {"", kGreen, kBlack},
      {"statustextcolor=(300,0,0)", kGreen, kBlack},
      {"statustextcolor=(1,2)", kGreen, kBlack},
      {"statustextcolor=red", kGreen, kBlack},
      {"statustextcolor=(-1,2,3)", kGreen, kBlack},
      // A value that is missing never borrows the numbers of the next line.
      {"statustextcolor=\nstatuspanelcolor=(1,2,3)", kGreen, skinColour(1, 2, 3)},
      {"statustextcolor2=(1,2,3)\nstatustextcolor=(4,5,6)", skinColour(4, 5, 6), kBlack},
  };
  for (const auto& [panel, text, background] : cases) {
    SkinFile skin;
    skin.panelText = panel;
    EXPECT_EQ(std::pair(skin.statusTextColour(), skin.statusPanelColour()), std::pair(text, background))
        << panel;
  }
}

TEST(SkinFile, ReadsSectionsAndRefusesWhatIsNoSkin) {
  SkinParse full = parseSkin(
      "\xEF\xBB\xBF; a comment\n[Skin]\nname=Night\nauthor=Lena\n[Panel]\nstatustextcolor=(1,2,3)\n"
      "[PanelClient]\nstatustextcolor=(4,5,6)\n[Captions]\n1073=CPU = load\n[Other]\nanything\n"
      "[Style]\nQLabel[flat=\"true\"] { color: red; }\n#id1020 { }\n[captions]\n2038=ON AIR\n");
  ASSERT_TRUE(full.skin) << full.error;
  EXPECT_EQ(full.skin->name, "Night");
  EXPECT_EQ(full.skin->author, "Lena");
  EXPECT_EQ(full.skin->statusTextColour(), skinColour(4, 5, 6)) << "PanelClient before Panel";
  EXPECT_EQ(full.skin->captions, (std::map<int, std::string>{{1073, "CPU = load"}, {2038, "ON AIR"}}));
  EXPECT_EQ(full.skin->styleSheet, "QLabel[flat=\"true\"] { color: red; }\n#id1020 { }\n");

  const std::string refused[] = {
      std::string("[Skin]\nname=x\0y\n", 15),
      "[Skin]\nname=\xff\xfe\n",
      "name=x\n[Skin]\n",
      "[Skin]\nname\n",
      "[Skin]\n[Captions]\nCPU=1\n",
      "[Panel]\nstatustextcolor=(1,2,3)\n",
      "[Skin]\n" + std::string(kMaxSkinFileBytes, ' '),
  };
  for (const std::string& text : refused) {
    SkinParse parse = parseSkin(text);
    EXPECT_FALSE(parse.skin) << text.substr(0, 40);
    EXPECT_FALSE(parse.error.empty());
  }
  EXPECT_FALSE(readSkinFile("/nonexistent/skin.skn").skin);
}

class SkinLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.write(kDefaultSkin, "[Skin]\nname=Default\n[Style]\nQLabel { margin: 1px; }\n");
    programValues().setRegistry(&registry);
    programValues().setSkin(std::nullopt);
  }
  void TearDown() override { programValues().setRegistry(nullptr); }

  test::TempFolder folder;
  test::ScopedChdir here{folder.path()};
  MemoryRegistry registry;
};

// Unusable skins fall back to the default, then to the plain look; at start-up the stored skin,
// else the default, else the program ends.
TEST_F(SkinLayer, FallbacksToTheDefaultThenThePlainLookOrTheEnd) {
  folder.write("skins/bad_sheet.skn", "[Skin]\nname=Bad\n[Style]\nQLabel { color: red; \n");
  folder.write("skins/binary.skn", std::string("\x89PNG\0\0", 6));
  test::LogTail log;
  for (const char* path : {"skins/bad_sheet.skn", "skins/binary.skn", "skins/absent.skn"}) {
    Skin skin = loadSkin(path);
    EXPECT_EQ(skin.path, kDefaultSkin) << path;
    EXPECT_EQ(skin.file.name, "Default");
    EXPECT_TRUE(log.contains(std::string("The skin ") + path + " cannot be used")) << log.text();
  }
  test::FakePrompts prompts;
  test::FakeExit exit;
  folder.write("skins/night.skn", "[Skin]\n");
  registry.create(kProfileRoot)->set("lc_skin", "skins/night.skn");
  EXPECT_EQ(skinName(prompts, exit), "skins/night.skn");
  EXPECT_TRUE(prompts.boxes().empty());

  programValues().setSkin(std::nullopt);
  registry.open(kProfileRoot)->set("lc_skin", "skins/gone.skn");
  EXPECT_EQ(skinName(prompts, exit), kDefaultSkin);
  EXPECT_EQ(prompts.boxTexts().back(),
            "The skin skins/gone.skn is missing, unable to continue. Switching to default skin.");
  EXPECT_FALSE(exit.ended);

  programValues().setSkin(std::nullopt);
  std::remove(kDefaultSkin);
  EXPECT_EQ(loadSkin("skins/absent.skn").path, "") << "the plain look";
  EXPECT_EQ(skinName(prompts, exit), std::nullopt);
  EXPECT_EQ(prompts.boxTexts().back(),
            "No skins found, unable to continue. Is Brovana_live.exe file in the right directory?");
  EXPECT_TRUE(exit.ended);
  EXPECT_EQ(exit.exitCode, 0);
}

// The chooser offers the usable skins by name, starts on the current one and previews the pick.
TEST_F(SkinLayer, TheChooserListsUsableSkinsByNameAndPreviewsThePick) {
  folder.write("skins/night.skn", "[Skin]\nname=Night\n[Panel]\nstatuspanelcolor=(1,2,3)\n");
  folder.write("skins/broken.skn", "name=x\n");
  SkinChooser chooser(QStringLiteral("skins"), QStringLiteral("skins/night.skn"));
  QStringList names;
  for (int row = 0; row < chooser.list().count(); ++row) names << chooser.list().item(row)->text();
  EXPECT_EQ(names, QStringList({"Night", "Default"}));
  EXPECT_EQ(chooser.picked(), "skins/night.skn");
  auto* preview = chooser.findChild<QWidget*>(QStringLiteral("SkinPreview"));
  QString night = preview->styleSheet();
  chooser.list().setCurrentRow(1);
  EXPECT_EQ(chooser.picked(), QString::fromLatin1(kDefaultSkin));
  EXPECT_NE(preview->styleSheet(), night) << "the preview follows the pick";
}

TEST_F(SkinLayer, ApplyingSetsCaptionsColoursAndGivesCaptionsBackLater) {
  QWidget window;
  QWidget panel(&window), client(&window);
  panel.setObjectName("Panel");
  client.setObjectName("PanelClient");
  QLabel caption("Now playing", &window), status(&window);
  QPushButton button("Start Broadcast", &window);
  caption.setObjectName(elementName(2038));
  status.setObjectName(elementName(1038));
  button.setObjectName(elementName(1020));
  markStatusText(status);
  button.setProperty("skinCaption", false);
  EXPECT_EQ(findPanel(window), &client);

  Skin console;
  console.file.panelText = "statustextcolor=(255,183,3)\nstatuspanelcolor=(0,0,0)";
  console.file.captions = {{2038, "ON AIR"}, {1038, "not a caption"}, {1020, "GO"}};
  applySkin(window, console);
  EXPECT_EQ(caption.text(), "ON AIR");
  EXPECT_EQ(status.text(), "") << "status texts take no captions";
  EXPECT_EQ(button.text(), "Start Broadcast") << "nor do elements that opt out";
  window.ensurePolished();
  status.ensurePolished();
  EXPECT_EQ(status.palette().color(QPalette::WindowText), QColor(255, 183, 3));
  EXPECT_TRUE(window.styleSheet().contains("#PanelClient { background-color: #000000; }"));

  applySkin(window, Skin{});
  EXPECT_EQ(caption.text(), "Now playing") << "a skin without the caption gives the window's back";
}

TEST(ReadableText, ContrastRatioIsWcags) {
  const std::tuple<const char*, const char*, double> cases[] = {
      {"#000000", "#ffffff", 21.0}, {"#ffffff", "#000000", 21.0}, {"#777777", "#ffffff", 4.48},
      {"#3b6fd8", "#3b6fd8", 1.0},  {"#ff0000", "#000000", 5.25},
  };
  for (const auto& [a, b, ratio] : cases)
    EXPECT_NEAR(contrastRatio(QColor(a), QColor(b)), ratio, 0.01) << a << b;
}

// Whatever a skin sets, a question stays readable: a window where the skin leaves a text too
// close to its background takes the default skin's colours, or the toolkit's when the default
// skin is the one at fault, and the log says so.
TEST_F(SkinLayer, UnreadableTextsTakeTheDefaultSkinsColours) {
  folder.write(kDefaultSkin, "[Skin]\nname=Default\n[Panel]\nstatuspanelcolor=(240,240,240)\n");
  auto colour = [](const QWidget& widget, QPalette::ColorRole role) {
    return widget.palette().color(role).name().toStdString();
  };
  const std::string plain = QApplication::palette().color(QPalette::Window).name().toStdString();
  const struct {
    std::string path, style;
    std::string text, panel;  // the message text's colour and the panel's, as the dialog shows them
    const char* told;         // what the window took, as the log says; null when it kept the skin
  } cases[] = {
      {"skins/none.skn", "", "#000000", "#f0f0f0", "the default skin's colours"},  // black on black
      {"skins/pale.skn",
       "#Panel QLabel { color: white; }\nQPushButton { color: #f8f8f8; background: white; }", "#000000",
       "#f0f0f0", "the default skin's colours"},
      {"skins/night.skn", "#Panel QLabel { color: #e0ffe0; }", "#e0ffe0", "#000000", nullptr},
      {kDefaultSkin, "", "#000000", plain, "the toolkit's plain colours"},
  };
  for (const auto& c : cases) {
    folder.write(c.path, "[Skin]\nname=Test\n[Style]\n" + c.style + "\n");
    setCurrentSkin(loadSkin(c.path));
    test::LogTail log;
    Question asked;
    asked.text = "Keep going?";
    MessageDialog question(asked);
    QCoreApplication::processEvents();  // the check, once the dialog is built
    QWidget* text = question.findChild<QLabel*>(elementName(kIdMessageText));
    EXPECT_EQ(colour(*text, QPalette::WindowText), c.text) << c.path;
    EXPECT_EQ(colour(*findPanel(question), QPalette::Window), c.panel) << c.path;
    EXPECT_EQ(log.contains("The skin " + c.path + " leaves the text"), c.told != nullptr) << log.text();
    EXPECT_TRUE(!c.told || log.contains(std::string("the window takes ") + c.told)) << log.text();
  }
}

}  // namespace
}  // namespace brovana
