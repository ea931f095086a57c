#include "audio/loudness.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/thread_priority.h"
#include "diag/logger.h"

namespace brovana {
namespace {

// The first line of the cache; a file without it is of another version and is rebuilt.
constexpr const char* kCacheHeader = "brovana-live loudness 1";
constexpr double kReplayGainReference = -18;
constexpr double kPeakCeiling = -1;
// Quieter than this is silence, or nearly: no gain is worked out from it.
constexpr double kQuietest = -70;
// A track measured far below the target is not lifted by more than this.
constexpr double kMostGain = 24;

bool fileStamp(const std::string& path, long long& size, long long& mtimeNs) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = st.st_size;
  mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return true;
}

}  // namespace

std::optional<NormalizeMode> normalizeModeNamed(std::string_view word) {
  for (NormalizeMode mode : {NormalizeMode::Off, NormalizeMode::Track, NormalizeMode::Album})
    if (word == toString(mode)) return mode;
  return std::nullopt;
}

const char* toString(NormalizeMode mode) {
  switch (mode) {
    case NormalizeMode::Off:
      return "off";
    case NormalizeMode::Track:
      return "track";
    case NormalizeMode::Album:
      return "album";
  }
  return "track";
}

double trackGainDb(const LoudnessSettings& settings, const KnownLoudness& known) {
  if (settings.mode == NormalizeMode::Off) return 0;
  if (known.measured) {
    const Loudness& l = *known.measured;
    if (!std::isfinite(l.integratedLufs) || l.integratedLufs < kQuietest) return 0;
    double gain = std::min(settings.targetLufs - l.integratedLufs, kMostGain);
    if (std::isfinite(l.truePeakDbtp)) gain = std::min(gain, kPeakCeiling - l.truePeakDbtp);
    return gain;
  }
  if (known.tagGainDb)
    return std::min(*known.tagGainDb + settings.targetLufs - kReplayGainReference, kMostGain);
  return 0;
}

std::optional<Loudness> albumLoudness(const std::vector<Loudness>& tracks) {
  double energy = 0;
  double peak = -HUGE_VAL;
  int counted = 0;
  for (const Loudness& l : tracks) {
    peak = std::max(peak, l.truePeakDbtp);
    if (!std::isfinite(l.integratedLufs) || l.integratedLufs < kQuietest) continue;
    energy += std::pow(10.0, l.integratedLufs / 10);
    ++counted;
  }
  if (tracks.empty()) return std::nullopt;
  return Loudness{counted ? 10 * std::log10(energy / counted) : -HUGE_VAL, peak};
}

PlayGain playGain(const LoudnessSettings& settings, const LoudnessLibrary* library, const PlaylistItem& track,
                  const std::vector<PlaylistItemRef>& list) {
  if (settings.mode == NormalizeMode::Off) return {};
  auto measured = [library](const PlaylistItem& item) {
    return library ? library->find(item.fullpath()) : std::nullopt;
  };
  MP3Info facts = track.mp3Info();
  const std::string album = facts.album();
  if (settings.mode == NormalizeMode::Album && album.find_first_not_of(' ') != std::string::npos) {
    // The album's figure only once every track of it is measured; its tag's until then.
    std::vector<Loudness> tracks;
    bool whole = true;
    for (const PlaylistItemRef& other : list) {
      if (!other || other->mp3Info().album() != album) continue;
      std::optional<Loudness> l = measured(*other);
      whole = whole && l.has_value();
      if (l) tracks.push_back(*l);
    }
    if (whole && !tracks.empty()) return {trackGainDb(settings, {albumLoudness(tracks), std::nullopt}), true};
    const bool final = library == nullptr;
    if (facts.albumGain()) return {trackGainDb(settings, {std::nullopt, facts.albumGain()}), final};
    return {trackGainDb(settings, {measured(track), facts.trackGain()}), final};
  }
  std::optional<Loudness> own = measured(track);
  return {trackGainDb(settings, {own, facts.trackGain()}), library == nullptr || own.has_value()};
}

float playGainFactor(const LoudnessSettings& settings, LoudnessLibrary* library, const PlaylistItem& track,
                     const std::vector<PlaylistItemRef>& list, bool& final, bool first) {
  if (library != nullptr) library->request(list);
  PlayGain gain = playGain(settings, library, track, list);
  final = gain.final;
  if (settings.mode == NormalizeMode::Off) return 1;
  if (final || first)
    Logger::log("%s plays at %+.1f dB (%s loudness %s, target %.1f LUFS)\n", track.fullpath().c_str(),
                gain.db, toString(settings.mode), final ? "measured" : "not measured yet",
                settings.targetLufs);
  return static_cast<float>(std::pow(10.0, gain.db / 20));
}

std::string defaultLoudnessCacheFile() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  std::string folder = cache && *cache ? cache : std::string(home ? home : ".") + "/.cache";
  return folder + "/brovana-live/loudness.cache";
}

LoudnessLibrary::LoudnessLibrary(LoudnessMeter& meter, std::string cacheFile)
    : meter_(meter), cacheFile_(std::move(cacheFile)) {
  load();
  worker_ = std::thread([this] { work(); });
}

LoudnessLibrary::~LoudnessLibrary() {
  {
    std::lock_guard lock(mutex_);
    stop_.store(true);
  }
  changed_.notify_all();
  worker_.join();
  std::lock_guard lock(mutex_);
  if (dirty_) saveLocked();
}

void LoudnessLibrary::load() {
  std::ifstream in(cacheFile_);
  std::string line;
  if (!in || !std::getline(in, line) || line != kCacheHeader) {
    if (in)
      Logger::log("The loudness cache %s is of another version; it is built anew\n", cacheFile_.c_str());
    dirty_ = true;
    return;
  }
  int damaged = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Entry entry;
    std::string path;
    if (!(fields >> entry.size >> entry.mtimeNs >> entry.loudness.integratedLufs >>
          entry.loudness.truePeakDbtp) ||
        fields.get() != '\t' || !std::getline(fields, path) || path.empty() || path[0] != '/') {
      ++damaged;
      continue;
    }
    entries_[path] = entry;
  }
  if (damaged > 0) {
    Logger::log("The loudness cache %s had %d damaged lines; they are measured again\n", cacheFile_.c_str(),
                damaged);
    dirty_ = true;
  }
}

void LoudnessLibrary::saveLocked() const {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(cacheFile_).parent_path(), error);
  // Written aside and renamed, so that a reader never meets half a file.
  const std::string aside = cacheFile_ + ".new";
  {
    std::ofstream out(aside, std::ios::trunc);
    out << kCacheHeader << '\n';
    out.precision(6);
    for (const auto& [path, e] : entries_)
      out << e.size << ' ' << e.mtimeNs << ' ' << e.loudness.integratedLufs << ' ' << e.loudness.truePeakDbtp
          << '\t' << path << '\n';
    if (!out) return;
  }
  std::filesystem::rename(aside, cacheFile_, error);
}

std::optional<Loudness> LoudnessLibrary::currentLocked(const std::string& path) const {
  auto found = entries_.find(path);
  long long size = 0;
  long long mtime = 0;
  if (found == entries_.end() || !fileStamp(path, size, mtime)) return std::nullopt;
  if (found->second.size != size || found->second.mtimeNs != mtime) return std::nullopt;
  return found->second.loudness;
}

std::optional<Loudness> LoudnessLibrary::find(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return currentLocked(path);
}

void LoudnessLibrary::request(const std::vector<PlaylistItemRef>& tracks) {
  bool queued = false;
  {
    std::lock_guard lock(mutex_);
    for (const PlaylistItemRef& track : tracks) {
      if (!track || track->loudness()) continue;
      const std::string& path = track->fullpath();
      if (std::optional<Loudness> known = currentLocked(path)) {
        track->setLoudness(known->integratedLufs);
      } else if (track->exists() && path.find('\n') == std::string::npos && !unmeasurable_.contains(path) &&
                 queued_.emplace(path, true).second) {
        queue_.push_back(track);
        queued = true;
      }
    }
  }
  if (queued) changed_.notify_all();
}

int LoudnessLibrary::measuredCount() const {
  std::lock_guard lock(mutex_);
  return measured_;
}

bool LoudnessLibrary::waitIdle(std::chrono::milliseconds deadline) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, deadline, [this] { return queue_.empty() && !busy_; });
}

void LoudnessLibrary::work() {
  lowerCurrentThreadToBackground();
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_.load() || !queue_.empty(); });
    if (stop_.load()) return;
    PlaylistItemRef track = queue_.front().lock();
    queue_.pop_front();
    if (!track) continue;
    const std::string path = track->fullpath();
    busy_ = true;
    long long size = 0;
    long long mtime = 0;
    bool stamped = fileStamp(path, size, mtime);
    lock.unlock();
    std::optional<Loudness> loudness = stamped ? meter_.measure(path, stop_) : std::nullopt;
    lock.lock();
    busy_ = false;
    queued_.erase(path);
    if (loudness) {
      if (path[0] == '/') entries_[path] = Entry{size, mtime, *loudness};
      track->setLoudness(loudness->integratedLufs);
      ++measured_;
      dirty_ = true;
    } else if (!stop_.load()) {
      // Not tried again in this run: it would be on every pass of the list.
      unmeasurable_.insert(path);
      Logger::log("The loudness of %s cannot be measured\n", path.c_str());
    }
    // Written when the queue runs dry: a long library is not rewritten after every track.
    if (queue_.empty() && dirty_) {
      saveLocked();
      dirty_ = false;
    }
    changed_.notify_all();
  }
}

}  // namespace brovana
