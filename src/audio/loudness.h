#pragma once
// One loudness for every track. Each track is measured once (EBU R128 integrated loudness and
// true peak) by a LoudnessMeter on a background worker at idle priority, the figures kept in a
// cache file by path, size and modification time; the engine plays a track at the target with
// the gain that trackGainDb works out, from the measurement, or from ReplayGain tags while there
// is none, never waiting for one.
//
// Threads: request(), find() and the queries come from any thread; the worker measures. Every
// shared field is under mutex_.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "audio/gain_ramp.h"
#include "playlist/playlist_item.h"

namespace brovana {

enum class NormalizeMode { Off, Track, Album };
// "off", "track", "album"; none for another word.
std::optional<NormalizeMode> normalizeModeNamed(std::string_view word);
const char* toString(NormalizeMode mode);

struct LoudnessSettings {
  NormalizeMode mode = NormalizeMode::Track;
  double targetLufs = -16;
};

struct Loudness {
  double integratedLufs = 0;
  double truePeakDbtp = 0;
};

// Measures one file; none when it cannot be decoded or `stop` was set.
class LoudnessMeter {
 public:
  virtual ~LoudnessMeter() = default;
  virtual std::optional<Loudness> measure(const std::string& path, const std::atomic<bool>& stop) = 0;
};

// What is known of a track's (or an album's) loudness.
struct KnownLoudness {
  std::optional<Loudness> measured;
  std::optional<double> tagGainDb;  // ReplayGain, whose reference is -18 LUFS
};

// The gain in dB that brings the track to the target: from the measurement, held so that the
// true peak stays at or below -1 dBTP; else from the tag; else none.
double trackGainDb(const LoudnessSettings& settings, const KnownLoudness& known);
// The loudness of an album from the loudness of its tracks (their energy averaged), its peak the
// highest of theirs; none without tracks.
std::optional<Loudness> albumLoudness(const std::vector<Loudness>& tracks);

class LoudnessLibrary;
struct PlayGain {
  double db = 0;
  bool final = true;  // every measurement it rests on is in (or there is nothing to measure)
};
// The gain a track of `list` is played with: in album mode from its album (the tracks of the list
// with the same album tag), in track mode from its own loudness.
PlayGain playGain(const LoudnessSettings& settings, const LoudnessLibrary* library, const PlaylistItem& track,
                  const std::vector<PlaylistItemRef>& list);
// playGain as a factor, logged when final or `first`; `final` tells which. Queues the list's tracks
// for measuring.
float playGainFactor(const LoudnessSettings& settings, LoudnessLibrary* library, const PlaylistItem& track,
                     const std::vector<PlaylistItemRef>& list, bool& final, bool first);

// $XDG_CACHE_HOME/brovana-live/loudness.cache, or under ~/.cache.
std::string defaultLoudnessCacheFile();

class LoudnessLibrary {
 public:
  // Reads the cache file; one that is damaged or of another version is rebuilt.
  LoudnessLibrary(LoudnessMeter& meter, std::string cacheFile);
  // Stops the measuring at once, joins the worker and writes the cache.
  ~LoudnessLibrary();
  LoudnessLibrary(const LoudnessLibrary&) = delete;
  LoudnessLibrary& operator=(const LoudnessLibrary&) = delete;

  // Gives each track its known loudness and queues those not yet measured; returns at once.
  void request(const std::vector<PlaylistItemRef>& tracks);
  // The measurement of the file as it is now on disk.
  std::optional<Loudness> find(const std::string& path) const;
  // Measurements made since the start: a change tells the list to show the new figures.
  int measuredCount() const;
  // True once nothing is queued or being measured, false at the deadline.
  bool waitIdle(std::chrono::milliseconds deadline) const;

 private:
  struct Entry {
    long long size = 0;
    long long mtimeNs = 0;
    Loudness loudness;
  };
  void work();
  void load();
  void saveLocked() const;
  std::optional<Loudness> currentLocked(const std::string& path) const;

  LoudnessMeter& meter_;
  const std::string cacheFile_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, Entry> entries_;
  std::deque<std::weak_ptr<PlaylistItem>> queue_;
  std::map<std::string, bool> queued_;  // paths in the queue or being measured
  std::set<std::string> unmeasurable_;
  int measured_ = 0;
  bool busy_ = false;
  bool dirty_ = false;
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

}  // namespace brovana
