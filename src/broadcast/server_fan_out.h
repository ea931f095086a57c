#pragma once
// The extra servers and recordings: the PCM that goes on the air, encoded once per distinct
// format and sent to every server that asked for that format.
//
//   source thread:   onAir(block) -> copy into each lane's bounded PCM queue (never waits; a
//                    full queue loses the block)
//   lane thread:     PCM queue -> encoder -> a copy of each piece into each server's queue
//   server thread:   its queue -> its client (connect, log in, send; on a failure or a stall it
//                    logs once and tries again every retry interval, as the member's link tries
//                    again with each piece of its stream)
//
// So a server that is down, refuses or stalls only loses its own audio, and the member's link
// and the other servers never wait for it. An Ogg server that (re)connects is started on a
// fresh chained stream, whose first page carries the headers a listener needs.
//
// The list may change on the air (update): a server that stays keeps its connection, a new one
// connects on its own thread, a new format starts its encoder, one no server uses stops.
//
// Threads: onAir from the source's thread, setTitle and update from any other; every queue sits
// under its owner's mutex, the lanes under the fan-out's. The destructor stops and joins every
// thread.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/conversion_ports.h"
#include "broadcast/stream_target.h"

namespace brovana {

class EncoderLane;

struct FanOutTimings {
  std::chrono::milliseconds retryEvery{1000};
  // Stream bytes a server may leave untaken, in seconds of its stream, before it counts as stalled.
  int stallSeconds = 15;
};

// How one extra server is doing, for the status window.
struct ServerReport {
  std::string label;  // its name, or its address
  std::string state;
  uint64_t bytesSent = 0;
  int reconnects = 0;  // connections made again after the first
};

class FanOutReports {
 public:
  virtual ~FanOutReports() = default;
  // From the server's own thread (or the fan-out's updater); `index` is its place among the
  // targets. A place no server holds any more gets an empty label. Must not wait for anything slow.
  virtual void serverReport(int index, const ServerReport& report) = 0;
};

// A server (or recording) of the fan-out as its status shows it.
struct ExtraServerState {
  std::string label;  // its URL without the password
  bool onAir = false;
};

class ServerFanOut final : public PcmTap {
 public:
  // One lane per distinct format; the library must outlive the fan-out. Each target's encoder is
  // tried at once: a format its codec cannot make is logged, naming the server, and that server
  // stays off.
  // `reports`, if any, must outlive the fan-out.
  ServerFanOut(const std::vector<StreamTarget>& targets, EncoderLibrary& encoders, SourceClientMaker clients,
               FanOutTimings timings = {}, FanOutReports* reports = nullptr);
  ~ServerFanOut() override;
  ServerFanOut(const ServerFanOut&) = delete;
  ServerFanOut& operator=(const ServerFanOut&) = delete;

  void onAir(const uint8_t* pcm, int length, const PcmFormat& format) override;
  // "Artist - Title" for every server: out of band for MP3, a chained stream for Ogg.
  void setTitle(const std::string& title);
  // The servers become `targets` (at most eight): one in the list before and now, alike in every
  // setting, streams on undisturbed; the others connect, or disconnect, now. Returns once the
  // servers that left have closed their connections, so not from the windows' thread.
  void update(const std::vector<StreamTarget>& targets);
  // From any thread; the servers whose encoder could not be made are not among them.
  std::vector<ExtraServerState> states() const;

 private:
  void add(const StreamTarget& target, int index);

  EncoderLibrary& encoders_;
  SourceClientMaker clients_;
  const FanOutTimings timings_;
  FanOutReports* const reports_;
  std::mutex updating_;       // one update at a time; the lanes change only under it
  int places_ = 0;            // the updating thread: the targets of the last update
  mutable std::mutex mutex_;  // the two below
  std::vector<std::unique_ptr<EncoderLane>> lanes_;
  std::string title_;  // the last one, for lanes that start later
};

}  // namespace brovana
