#pragma once
// The extra servers of a studio with windows: the stored ones go on the air with each broadcast
// and off with its end, taking the PCM the stage puts on the air and the titles of the tracks.
// A change in the Servers dialog reaches a broadcast on the air at once, through the run's own
// worker, since connecting and disconnecting may take a while.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "broadcast/command_worker.h"
#include "broadcast/extra_servers.h"
#include "platform/stream_encoders.h"

namespace brovana {

class PcmTap;

class ExtraServersRun {
 public:
  // `setTap` hands the stage its tap (or none); it must outlive this.
  ExtraServersRun(Registry& registry, std::function<void(PcmTap*)> setTap);
  ~ExtraServersRun();

  // Where the servers report, once the studio has its display; none before it goes away.
  void setStatus(StatusDisplay* status) { reports_.setStatus(status); }

  // From the studio's worker (or an engine's): starts the stored servers when the broadcast is
  // on the air and none run, stops them when it is off.
  void follow(bool onAir);
  void setTitle(const std::string& title);
  // The stored servers changed; returns at once.
  void reload();
  // Stops the servers for good: the studio they take from and report to goes.
  void close();

 private:
  void startLocked(const std::vector<StreamTarget>& servers);
  void stopLocked();

  Registry& registry_;
  const std::function<void(PcmTap*)> setTap_;
  StatusServerReports reports_;
  StreamEncoderLibrary encoders_;
  std::mutex mutex_;  // the four fields below
  std::unique_ptr<ServerFanOut> fanOut_;
  std::string title_;  // the last one, for servers that start later
  bool onAir_ = false;
  bool closed_ = false;
  CommandWorker worker_;  // last: its commands use the fields above
};

}  // namespace brovana
