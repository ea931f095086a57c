#pragma once
// The remote commands carried out on a Studio, as the windows or the headless run would: start
// and stop as the broadcast button, next and previous as a jump in the playlist window, the source
// as the "Audio Source" menu, the recording as "Save to file...". A song title goes to the
// servers and to the service as the now-playing title.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/control_socket.h"
#include "app/remote_requests.h"

namespace brovana {

class ServerFanOut;
class Studio;

class StudioRemote final : public RemoteStation {
 public:
  using Announce = std::function<void(const std::string& title)>;
  // `extras` (the --also servers and --record files, for their states) may be none; `announce`
  // gives a song title to the servers; `recordTo` is where "record on" records, without it a file
  // named with its start time in the working folder. Each must outlive it. The windows call it on
  // their own thread; the headless studio on the socket's.
  StudioRemote(Studio& studio, ServerFanOut* extras, Announce announce, std::optional<std::string> recordTo);

  // A track's first block went on the air: its title is the station's until a song command.
  void trackOnAir(const std::string& title);

  RemoteStatus status() override;
  std::string start() override;
  std::string stop() override;
  std::string skip(int step) override;
  std::string song(const std::string& text) override;
  std::string record(bool on) override;
  std::string source(const std::string& name) override;

 private:
  bool offAir() const;

  Studio& studio_;
  ServerFanOut* const extras_;
  const Announce announce_;
  const std::optional<std::string> recordTo_;
  mutable std::mutex mutex_;
  std::string title_;  // under mutex_
};

// The control socket of the studio in the working folder, serving `station`; none when it cannot
// listen, which is logged and told on standard error: the studio goes on without.
std::unique_ptr<ControlSocket> openControlSocket(RemoteStation& station);

// brovana-live --remote WORDS...: the answer of the studio on `workingFolder` on standard output;
// the exit code, 1 for an error answer or no studio.
int runRemote(const std::vector<std::string>& words, const std::string& workingFolder);

}  // namespace brovana
