#pragma once
// The windowed studio's controls from outside its windows: the control socket (brovana-live
// --remote and scripts) and the desktop's media controls. Every command is carried out on the
// GUI thread, as a click would be; the socket's thread waits for it.

#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/control_socket.h"
#include "app/media_player_bus.h"
#include "app/studio_remote.h"

namespace brovana {

class Studio;

// A station whose every call runs on the GUI thread; the caller waits for it.
class GuiThreadStation final : public RemoteStation {
 public:
  explicit GuiThreadStation(RemoteStation& station) : station_(station) {}
  // From the GUI thread, before the socket that calls it goes: the calls waiting give up, and
  // none is made from then on.
  void close();

  RemoteStatus status() override;
  std::string start() override;
  std::string stop() override;
  std::string skip(int step) override;
  std::string song(const std::string& text) override;
  std::string record(bool on) override;
  std::string source(const std::string& name) override;

 private:
  struct Call;
  // Runs `work` on the GUI thread; its answer, or why there was none.
  std::string run(std::function<std::string(RemoteStatus&)> work, RemoteStatus* status = nullptr);

  RemoteStation& station_;
  QObject context_;  // what is posted goes with it
  std::mutex mutex_;
  std::condition_variable done_;
  bool closed_ = false;  // under mutex_
};

class DesktopControls {
 public:
  // `recordTo`: -outfile, where "record on" records; `startStop` the broadcast button. The studio
  // must outlive it.
  DesktopControls(Studio& studio, std::optional<std::string> recordTo, std::function<void()> startStop,
                  StudioRemote::Announce announce);
  ~DesktopControls();
  DesktopControls(const DesktopControls&) = delete;
  DesktopControls& operator=(const DesktopControls&) = delete;

  // On the GUI thread: a track's first block went on the air.
  void trackOnAir(const std::string& title);

 private:
  StudioRemote remote_;
  GuiThreadStation gui_{remote_};
  std::unique_ptr<ControlSocket> socket_;
  MediaPlayerBus bus_;  // on this thread: it asks the studio itself
  QTimer watch_;        // the desktop hears of a broadcast started or stopped within a second
};

}  // namespace brovana
