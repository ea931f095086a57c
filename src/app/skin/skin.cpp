#include "app/skin/skin.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QWidget>
#include <fstream>

#include "core/program_values.h"
#include "core/prompts.h"
#include "core/registry.h"
#include "core/text.h"
#include "diag/logger.h"

namespace brovana {
namespace {

constexpr const char* kDefaultCaptionProperty = "skinDefaultCaption";
constexpr const char* kStatusTextProperty = "statusText";

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
  // The panel colours first, so that the skin's own style sheet can refine them. Captions and
  // figures on a panel are readable on its default black until the skin says otherwise.
  QString sheet =
      QStringLiteral(
          "QLabel[caption=\"true\"] { color: silver; }\nQLabel[figure=\"true\"] { color: white; }\n"
          "QLabel[statusText=\"true\"] { color: %1; }\n")
          .arg(colourName(skin.file.statusTextColour()));
  if (QWidget* panel = findPanel(window))
    sheet += QStringLiteral("#%1 { background-color: %2; }\n")
                 .arg(panel->objectName(), colourName(skin.file.statusPanelColour()));
  sheet += QString::fromStdString(skin.file.styleSheet);
  window.setStyleSheet(sheet);
  applyCaptions(window, skin.file);
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
