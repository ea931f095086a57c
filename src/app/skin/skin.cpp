#include "app/skin/skin.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>
#include <fstream>
#include <set>
#include <utility>

#include "app/skin/readable_text.h"
#include "core/program_values.h"
#include "core/prompts.h"
#include "core/registry.h"
#include "core/text.h"
#include "diag/logger.h"

namespace brovana {
namespace {

constexpr const char* kDefaultCaptionProperty = "skinDefaultCaption";
constexpr const char* kStatusTextProperty = "statusText";
constexpr const char* kSkinPathProperty = "skinPath";  // the skin the window took last

// Qt only complains about a style sheet it cannot parse, in a warning when a widget takes it.
// A probe widget takes the sheet while the warnings are caught.
QtMessageHandler gPreviousHandler = nullptr;
bool gSheetRejected = false;

void catchSheetWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("Could not parse"))) {
    gSheetRejected = true;
    return;
  }
  if (gPreviousHandler) gPreviousHandler(type, context, message);
}

bool qtAcceptsStyleSheet(const QString& sheet) {
  gSheetRejected = false;
  gPreviousHandler = qInstallMessageHandler(catchSheetWarnings);
  {
    QWidget probe;
    probe.setStyleSheet(sheet);
    probe.ensurePolished();
  }
  qInstallMessageHandler(gPreviousHandler);
  return !gSheetRejected;
}

// The skin at `path`, or the reason it cannot be used.
std::optional<Skin> usableSkin(const std::string& path, std::string& why) {
  SkinParse parse = readSkinFile(path);
  if (!parse.skin) {
    why = parse.error;
    return std::nullopt;
  }
  if (!qtAcceptsStyleSheet(QString::fromStdString(parse.skin->styleSheet))) {
    why = "Qt cannot parse its [Style] style sheet";
    return std::nullopt;
  }
  return Skin{path, std::move(*parse.skin)};
}

Skin& current() {
  static Skin skin;
  return skin;
}

QString colourName(SkinColour colour) {
  return toQColor(colour).name();
}

bool takesCaption(const QWidget& element) {
  QVariant optIn = element.property("skinCaption");
  return !element.property(kStatusTextProperty).toBool() && (!optIn.isValid() || optIn.toBool());
}

void setCaption(QWidget& element, const QString& caption) {
  if (auto* label = qobject_cast<QLabel*>(&element))
    label->setText(caption);
  else if (auto* button = qobject_cast<QAbstractButton*>(&element))
    button->setText(caption);
  else if (auto* group = qobject_cast<QGroupBox*>(&element))
    group->setTitle(caption);
}

QString captionOf(const QWidget& element) {
  if (auto* label = qobject_cast<const QLabel*>(&element)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(&element)) return button->text();
  if (auto* group = qobject_cast<const QGroupBox*>(&element)) return group->title();
  return {};
}

void applyCaptions(QWidget& window, const SkinFile& skin) {
  static const QRegularExpression kElement(QStringLiteral("^id(\\d+)$"));
  QList<QWidget*> elements = window.findChildren<QWidget*>(kElement);
  elements.append(&window);
  for (QWidget* element : elements) {
    QRegularExpressionMatch match = kElement.match(element->objectName());
    if (!match.hasMatch() || !takesCaption(*element)) continue;
    QVariant original = element->property(kDefaultCaptionProperty);
    auto caption = skin.captions.find(match.captured(1).toInt());
    if (caption != skin.captions.end()) {
      if (!original.isValid()) element->setProperty(kDefaultCaptionProperty, captionOf(*element));
      setCaption(*element, QString::fromStdString(caption->second));
    } else if (original.isValid()) {
      setCaption(*element, original.toString());
    }
  }
}

// The panel colours first, so that the skin's own style sheet can refine them. Captions and
// figures on a panel are readable on its default black until the skin says otherwise.
QString lookSheet(QWidget& window, const Skin& skin) {
  QString sheet =
      QStringLiteral(
          "QLabel[caption=\"true\"] { color: silver; }\nQLabel[figure=\"true\"] { color: white; }\n"
          "QLabel[statusText=\"true\"] { color: %1; }\n")
          .arg(colourName(skin.file.statusTextColour()));
  if (QWidget* panel = findPanel(window))
    sheet += QStringLiteral("#%1 { background-color: %2; }\n")
                 .arg(panel->objectName(), colourName(skin.file.statusPanelColour()));
  return sheet + QString::fromStdString(skin.file.styleSheet);
}

QString windowName(const QWidget& window) {
  return window.objectName().isEmpty() ? QString::fromLatin1(window.metaObject()->className())
                                       : window.objectName();
}

// Whatever a skin sets, the texts stay readable: a window on which the skin leaves a text too
// close to its background takes the default skin's look, and failing that the toolkit's own.
// Said in the log once per skin and window.
void keepReadable(QWidget& window) {
  std::optional<UnreadableText> unreadable = findUnreadableText(window);
  if (!unreadable) return;
  const std::string skin = window.property(kSkinPathProperty).toString().toStdString();
  std::string why;
  std::optional<Skin> fallback = skin != kDefaultSkin ? usableSkin(kDefaultSkin, why) : std::nullopt;
  if (fallback) window.setStyleSheet(lookSheet(window, *fallback));
  bool readable = fallback && !findUnreadableText(window);
  if (!readable) window.setStyleSheet(QString());
  static std::set<std::pair<std::string, QString>> told;
  if (!told.insert({skin, windowName(window)}).second) return;
  Logger::log("The skin %s leaves the text %s of %s unreadable (%s on %s); the window takes %s\n",
              skin.empty() ? "(none)" : skin.c_str(), qPrintable(unreadable->element),
              qPrintable(windowName(window)), qPrintable(unreadable->text.name()),
              qPrintable(unreadable->background.name()),
              readable ? "the default skin's colours" : "the toolkit's plain colours");
}

}  // namespace

QString elementName(int id) {
  return QStringLiteral("id%1").arg(id);
}

QColor toQColor(SkinColour colour) {
  return QColor(static_cast<int>(colour & 0xff), static_cast<int>(colour >> 8 & 0xff),
                static_cast<int>(colour >> 16 & 0xff));
}

Skin loadSkin(const std::string& path) {
  std::string why;
  if (auto skin = usableSkin(path, why)) return std::move(*skin);
  Logger::log("The skin %s cannot be used (%s); using the default skin\n", path.c_str(), why.c_str());
  if (path != kDefaultSkin) {
    if (auto skin = usableSkin(kDefaultSkin, why)) return std::move(*skin);
    Logger::log("The default skin %s cannot be used either (%s); using the plain look\n", kDefaultSkin,
                why.c_str());
  }
  return Skin{};
}

const Skin& currentSkin() {
  return current();
}

void setCurrentSkin(Skin skin) {
  current() = std::move(skin);
}

Skin skinFor(const std::string& path) {
  if (path == current().path) return current();
  return loadSkin(path);
}

QWidget* findPanel(QWidget& window) {
  for (const char* name : {"PanelClient", "Panel"})
    if (auto* panel = window.findChild<QWidget*>(QLatin1String(name))) return panel;
  return nullptr;
}

void markStatusText(QWidget& label) {
  label.setProperty(kStatusTextProperty, true);
}

void applySkin(QWidget& window, const Skin& skin) {
  window.setStyleSheet(lookSheet(window, skin));
  window.setProperty(kSkinPathProperty, QString::fromStdString(skin.path));
  applyCaptions(window, skin.file);
  // The check polishes the window's elements, so a window that is still being built is checked
  // once its own code has named and marked them: the style sheet's rules match on those.
  if (window.isVisible())
    keepReadable(window);
  else
    QTimer::singleShot(0, &window, [&window] { keepReadable(window); });
}

std::optional<std::string> skinName(Prompts& prompts, ProgramExit& exit) {
  ProgramValues& values = programValues();
  std::optional<std::string> name = values.skin();
  if (!name)
    if (Registry* registry = values.registry())
      if (auto key = registry->open(kProfileRoot)) name = key->query("lc_skin");
  auto readable = [](const std::string& path) { return std::ifstream(path).good(); };
  std::string chosen = name.value_or(kDefaultSkin);
  if (!readable(chosen)) {
    prompts.warning(
        formatText("The skin %s is missing, unable to continue. Switching to default skin.", chosen.c_str()));
    chosen = kDefaultSkin;
    if (!readable(chosen)) {
      prompts.error("No skins found, unable to continue. Is Brovana_live.exe file in the right directory?");
      exit.endProgram(0);
      return std::nullopt;
    }
  }
  values.setSkin(chosen);
  return chosen;
}

}  // namespace brovana
