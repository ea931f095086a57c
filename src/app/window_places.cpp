#include "app/window_places.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "core/program_values.h"
#include "core/registry.h"

namespace brovana {
namespace {

constexpr const char* kPlacesKey = "Software\\Zelvora\\Live\\Windows";
constexpr int kGap = 8;    // between the main window and its neighbours
constexpr int kStep = 24;  // how far a place slides along a side to get clear of a window
constexpr int kSettleMs = 400;
constexpr int kNeighbourRoom = 1210;  // the playlist window at its usual width

std::optional<QRect> storedPlace(const char* name) {
  Registry* registry = programValues().registry();
  std::unique_ptr<RegistryKey> key = registry ? registry->open(kPlacesKey) : nullptr;
  std::optional<std::string> text = key ? key->query(name) : std::nullopt;
  if (!text) return std::nullopt;
  QStringList parts = QString::fromStdString(*text).split(QLatin1Char(','));
  if (parts.size() != 4) return std::nullopt;
  int values[4];
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    values[i] = parts[i].trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
  }
  QRect place(values[0], values[1], values[2], values[3]);
  if (place.width() <= 0 || place.height() <= 0) return std::nullopt;
  return place;
}

void storePlace(const char* name, const QRect& place) {
  Registry* registry = programValues().registry();
  std::unique_ptr<RegistryKey> key = registry ? registry->create(kPlacesKey) : nullptr;
  if (!key) return;
  key->set(name, QStringLiteral("%1,%2,%3,%4")
                     .arg(place.x())
                     .arg(place.y())
                     .arg(place.width())
                     .arg(place.height())
                     .toStdString());
}

// A stored place still counts when enough of its top, just below the title bar, is on one of the
// screens.
bool onAScreen(const QRect& place) {
  QRect top(place.topLeft(), QSize(place.width(), 24));
  return std::ranges::any_of(QGuiApplication::screens(), [&](QScreen* screen) {
    QRect seen = screen->availableGeometry().intersected(top);
    return seen.width() >= std::min(place.width(), 64);
  });
}

bool onPlatform(const char* name) {
  return QGuiApplication::platformName() == QLatin1String(name);
}

QWidget* mainWindow(const QWidget& other) {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window != &other && window->objectName() == QLatin1String("MainWindow")) return window;
  return nullptr;
}

// Puts the window's frame at `where`. A window on its way to the screen has no frame yet, and
// QWidget::move would put its inside there, a title bar lower than the place stored or chosen.
void moveFrame(QWidget& window, QPoint where) {
  window.move(where);
  if (QWindow* handle = window.windowHandle()) handle->setFramePosition(where);
}

// The frame's edges as the X window manager sets them out (_NET_FRAME_EXTENTS); none before it
// framed the window, or off X. Qt works its frame out as the window moves and keeps it until the
// next move: worked out before the window manager framed the window, that is no frame or a wrong one.
std::optional<QMargins> frameExtents(const QWidget& window) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  // The offscreen platform answers for X too, without a connection.
  xcb_connection_t* x = x11 && onPlatform("xcb") ? x11->connection() : nullptr;
  if (!x) return std::nullopt;
  static const xcb_atom_t atom = [x] {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, 18, "_NET_FRAME_EXTENTS"), nullptr), &free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  }();
  std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
      xcb_get_property_reply(x, xcb_get_property(x, 0, window.winId(), atom, XCB_ATOM_CARDINAL, 0, 4),
                             nullptr),
      &free);
  if (!reply || xcb_get_property_value_length(reply.get()) != 16) return std::nullopt;
  const auto* edges =
      static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));  // left, right, top, bottom
  return QMargins(int(edges[0]), int(edges[2]), int(edges[1]), int(edges[3]));
}

// The window's frame once the window manager has framed and shown it, its inside before.
QRect frameOf(const QWidget& window) {
  QWindow* handle = window.windowHandle();
  if (!handle || !handle->isExposed()) return window.geometry();
  if (std::optional<QMargins> extents = frameExtents(window)) return window.geometry().marginsAdded(*extents);
  return onPlatform("xcb") ? window.geometry() : window.frameGeometry();
}

// The window is on the screen with its frame, as far as this one can tell. The offscreen
// platform draws no frames.
bool framed(const QWidget& window) {
  return window.isVisible() && (frameOf(window) != window.geometry() || onPlatform("offscreen"));
}

class PlaceKeeper final : public QObject {
 public:
  PlaceKeeper(QWidget& window, const char* name) : QObject(&window), window_(window), name_(name) {
    // The settings are written once a move has settled, not at every step of a drag.
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, [this] { storePlace(name_, window_.geometry()); });
    window.installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (awaited_ && (watched == awaited_ || watched == awaited_->windowHandle())) {
      followMain(event->type());
    } else if (event->type() == QEvent::Show && !placed_) {
      placed_ = true;
      place();
    } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && placed_ &&
               window_.isVisible()) {
      settle_.start();
    } else if (event->type() == QEvent::Hide && settle_.isActive()) {
      settle_.stop();
      storePlace(name_, window_.geometry());
    }
    return false;
  }

 private:
  void place() {
    if (std::optional<QRect> stored = storedPlace(name_); stored && onAScreen(*stored)) {
      // The inside, not the frame: X puts it exactly there, framed yet or not.
      window_.setGeometry(*stored);
      return;
    }
    if (window_.objectName() == QLatin1String("MainWindow")) return placeAsMain();
    QWidget* main = mainWindow(window_);
    if (main && framed(*main)) return placeBesideMain(*main);
    // Shown before the main window is on the screen (the playlist at the start): it goes beside
    // the main window once the window manager has put that somewhere and framed it.
    awaited_ = main;
    if (!awaited_) return;
    awaited_->installEventFilter(this);
    if (QWindow* handle = awaited_->windowHandle()) handle->installEventFilter(this);
  }

  // The main window shows, then the window manager frames it and puts it somewhere: this one
  // goes beside it at each step, until the main window is framed, or has moved once on the screen.
  // A main window put where it asked to be may not move or change size as a widget: its native
  // window's events (its geometry, its expose) are the steps then.
  void followMain(QEvent::Type type) {
    QWindow* handle = awaited_->windowHandle();
    if (type == QEvent::Show && handle) handle->installEventFilter(this);
    if ((type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize && type != QEvent::Expose) ||
        !awaited_->isVisible())
      return;
    bool settled = framed(*awaited_) || (type != QEvent::Show && handle && handle->isExposed());
    if (window_.isVisible()) placeBesideMain(*awaited_);
    if (!settled) return;
    awaited_->removeEventFilter(this);
    if (handle) handle->removeEventFilter(this);
    awaited_ = nullptr;
  }

  // Centred on a wide screen, the main window would leave too little room beside it.
  void placeAsMain() {
    QScreen* screen = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // Before the window manager frames it, the frame's size is not known: a title bar's worth.
    QSize frame = window_.size() + QSize(0, 24);
    moveFrame(window_, placeMain(frame, screen->availableGeometry(), kNeighbourRoom).topLeft());
  }

  void placeBesideMain(QWidget& main) {
    std::vector<QRect> taken;
    for (QWidget* other : QApplication::topLevelWidgets())
      if (other != &window_ && other != &main && other->isVisible() && other->isWindow())
        taken.push_back(frameOf(*other));
    QScreen* screen = main.screen();
    QRect mainFrame = frameOf(main);
    QSize frame = window_.size() + (mainFrame.size() - main.size());
    QRect spot = placeBeside(mainFrame, frame, screen->availableGeometry(), taken);
    // Its frame will be as the main window's: its inside goes that far into the spot, exactly
    // where asked, while Qt's idea of a frame not drawn yet could be anything.
    window_.setGeometry(
        QRect(spot.topLeft() + (main.geometry().topLeft() - mainFrame.topLeft()), window_.size()));
  }

  QWidget& window_;
  const char* name_;
  bool placed_ = false;
  QPointer<QWidget> awaited_;  // the main window, not shown yet when this one was
  QTimer settle_;
};

bool clear(const QRect& spot, const QRect& screen, const std::vector<QRect>& taken) {
  return screen.contains(spot) &&
         std::ranges::none_of(taken, [&](const QRect& other) { return other.intersects(spot); });
}

}  // namespace

void rememberPlace(QWidget& window, const char* name) {
  new PlaceKeeper(window, name);  // the window owns it
}

QRect placeBeside(const QRect& main, QSize size, const QRect& screen, const std::vector<QRect>& taken) {
  // Each side: where the place starts, and the way it slides along that side.
  struct Side {
    QPoint start;
    QPoint slide;
  };
  const Side sides[] = {
      {{main.right() + 1 + kGap, main.top()}, {0, kStep}},
      {{main.left(), main.bottom() + 1 + kGap}, {kStep, 0}},
      {{main.left() - kGap - size.width(), main.top()}, {0, kStep}},
      {{main.left(), main.top() - kGap - size.height()}, {kStep, 0}},
  };
  std::vector<QRect> all = taken;
  all.push_back(main);
  std::optional<QRect> fits;
  for (const Side& side : sides) {
    for (QRect spot(side.start, size); spot.bottom() <= screen.bottom() && spot.right() <= screen.right();
         spot.translate(side.slide)) {
      if (clear(spot, screen, all)) return spot;
      if (!fits && clear(spot, screen, {main})) fits = spot;
    }
  }
  if (fits) return *fits;
  QRect right(sides[0].start, size);
  right.moveTop(
      std::clamp(right.top(), screen.top(), std::max(screen.top(), screen.bottom() - size.height())));
  right.moveLeft(std::min(right.left(), std::max(screen.left(), screen.right() - size.width())));
  return right;
}

QRect placeMain(QSize size, const QRect& screen, int room) {
  int spareWidth = screen.width() - size.width() - kGap - room;
  int x = screen.left() + std::max(0, spareWidth / 2);
  int y = screen.top() + std::max(0, (screen.height() - size.height()) / 2);
  return QRect(QPoint(x, y), size);
}

}  // namespace brovana
