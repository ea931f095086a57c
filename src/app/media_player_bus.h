#pragma once
// The desktop's media controls: the windowed studio on the session bus as an MPRIS 2 media
// player (org.mpris.MediaPlayer2 and its .Player interface), so the desktop shows the title on
// the air, its Play/Pause starts and stops the broadcast as the broadcast button does (with the
// button's questions), and Next and Previous go to another track of the playlist. Without a
// session bus the studio goes on without, which the log says once.
//
// Served on the GUI thread, where the bus delivers its calls.

#include <QDBusVirtualObject>
#include <functional>
#include <string>

namespace brovana {

class RemoteStation;

class MediaPlayerBus final : public QDBusVirtualObject {
 public:
  // `startStop` is the broadcast button; `station` gives the title and the state, and skips.
  MediaPlayerBus(RemoteStation& station, std::function<void()> startStop);
  ~MediaPlayerBus() override;

  // The title or the state changed: the desktop hears of it.
  void changed();

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
  QString introspect(const QString& path) const override;

 private:
  QVariantMap playerProperties() const;
  QVariantMap rootProperties() const;
  // A method of the Player interface; false for one it does not have.
  bool runPlayerMethod(const QString& name);

  RemoteStation& station_;
  const std::function<void()> startStop_;
  QString service_;    // empty while not on the bus
  QVariantMap shown_;  // the Player properties the desktop was last told
};

}  // namespace brovana
