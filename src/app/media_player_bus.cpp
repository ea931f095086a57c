#include "app/media_player_bus.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>

#include "app/remote_requests.h"
#include "diag/logger.h"

namespace brovana {
namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr const char* kIntrospection = R"(<node>
 <interface name="org.mpris.MediaPlayer2">
  <method name="Raise"/><method name="Quit"/>
  <property name="CanQuit" type="b" access="read"/><property name="CanRaise" type="b" access="read"/>
  <property name="HasTrackList" type="b" access="read"/><property name="Identity" type="s" access="read"/>
  <property name="DesktopEntry" type="s" access="read"/>
  <property name="SupportedUriSchemes" type="as" access="read"/>
  <property name="SupportedMimeTypes" type="as" access="read"/>
 </interface>
 <interface name="org.mpris.MediaPlayer2.Player">
  <method name="Next"/><method name="Previous"/><method name="Pause"/><method name="PlayPause"/>
  <method name="Stop"/><method name="Play"/>
  <property name="PlaybackStatus" type="s" access="read"/><property name="Rate" type="d" access="read"/>
  <property name="Metadata" type="a{sv}" access="read"/><property name="Volume" type="d" access="read"/>
  <property name="Position" type="x" access="read"/><property name="MinimumRate" type="d" access="read"/>
  <property name="MaximumRate" type="d" access="read"/><property name="CanGoNext" type="b" access="read"/>
  <property name="CanGoPrevious" type="b" access="read"/><property name="CanPlay" type="b" access="read"/>
  <property name="CanPause" type="b" access="read"/><property name="CanSeek" type="b" access="read"/>
  <property name="CanControl" type="b" access="read"/>
  <signal name="Seeked"><arg name="Position" type="x"/></signal>
 </interface>
</node>)";

}  // namespace

MediaPlayerBus::MediaPlayerBus(RemoteStation& station, std::function<void()> startStop)
    : station_(station), startStop_(std::move(startStop)) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    Logger::log("No session bus: the desktop's media controls are off\n");
    return;
  }
  // One name per studio, as the media player interface asks of a program that runs more than once.
  QString name = kRoot + QStringLiteral(".brovana_live.instance%1").arg(getpid());
  if (!bus.registerVirtualObject(kPath, this) || !bus.registerService(name)) {
    Logger::log("The desktop's media controls are off: %s\n", bus.lastError().message().toUtf8().constData());
    bus.unregisterObject(kPath);
    return;
  }
  service_ = name;
  shown_ = playerProperties();
}

MediaPlayerBus::~MediaPlayerBus() {
  if (service_.isEmpty()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(service_);
  bus.unregisterObject(kPath);
}

QVariantMap MediaPlayerBus::rootProperties() const {
  return {{"CanQuit", false},
          {"CanRaise", false},
          {"HasTrackList", false},
          {"Identity", QStringLiteral("Brovana-Live")},
          {"DesktopEntry", QStringLiteral("brovana-live")},
          {"SupportedUriSchemes", QStringList()},
          {"SupportedMimeTypes", QStringList()}};
}

QVariantMap MediaPlayerBus::playerProperties() const {
  RemoteStatus status = station_.status();
  bool playing = status.onAir == "playlist" || status.onAir == "live";
  QVariantMap metadata{
      {"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/org/brovana_live/track/on_air"))},
      {"xesam:title", QString::fromStdString(status.title)}};
  return {{"PlaybackStatus", playing ? QStringLiteral("Playing") : QStringLiteral("Stopped")},
          {"Rate", 1.0},
          {"Metadata", metadata},
          {"Volume", 1.0},
          {"Position", qlonglong(0)},
          {"MinimumRate", 1.0},
          {"MaximumRate", 1.0},
          {"CanGoNext", true},
          {"CanGoPrevious", true},
          {"CanPlay", true},
          {"CanPause", true},
          {"CanSeek", false},
          {"CanControl", true}};
}

void MediaPlayerBus::changed() {
  if (service_.isEmpty()) return;
  QVariantMap now = playerProperties(), differ;
  for (const QString& name : {QStringLiteral("PlaybackStatus"), QStringLiteral("Metadata")})
    if (now.value(name) != shown_.value(name)) differ.insert(name, now.value(name));
  shown_ = now;
  if (differ.isEmpty()) return;
  QDBusMessage signal = QDBusMessage::createSignal(kPath, kProperties, QStringLiteral("PropertiesChanged"));
  signal << kPlayer << differ << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

// Play, Pause and their toggle are the broadcast button, pressed once the bus has its answer:
// the button may ask a question, which must not hold up the desktop's call.
bool MediaPlayerBus::runPlayerMethod(const QString& name) {
  bool playing = playerProperties().value("PlaybackStatus") == QStringLiteral("Playing");
  bool press =
      name == "PlayPause" || (name == "Play" && !playing) || ((name == "Pause" || name == "Stop") && playing);
  if (name == "Next" || name == "Previous")
    station_.skip(name == "Next" ? 1 : -1);
  else if (press)
    QTimer::singleShot(0, this, startStop_);
  else if (name != "Play" && name != "Pause" && name != "Stop")
    return false;
  return true;
}

bool MediaPlayerBus::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
  const QString member = message.member();
  if (message.interface() == kProperties && (member == "Get" || member == "GetAll")) {
    const QList<QVariant> args = message.arguments();
    QString interface = args.value(0).toString();
    QVariantMap all = interface == kPlayer ? playerProperties()
                      : interface == kRoot ? rootProperties()
                                           : QVariantMap();
    if (member == "GetAll") return connection.send(message.createReply(QVariant(all)));
    if (!all.contains(args.value(1).toString()))
      return connection.send(message.createErrorReply(QDBusError::UnknownProperty, "no such property"));
    return connection.send(
        message.createReply(QVariant::fromValue(QDBusVariant(all.value(args.value(1).toString())))));
  }
  bool known = (message.interface() == kPlayer && runPlayerMethod(member)) ||
               (message.interface() == kRoot && (member == "Raise" || member == "Quit"));
  if (!known) return false;
  return connection.send(message.createReply());
}

QString MediaPlayerBus::introspect(const QString&) const {
  QString xml = QString::fromLatin1(kIntrospection);
  // Qt wraps what this returns in a node of its own.
  xml.remove(QStringLiteral("<node>")).remove(QStringLiteral("</node>"));
  return xml;
}

}  // namespace brovana
