#include "diag/logger.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "core/log_sink.h"
#include "core/program_values.h"
#include "core/text.h"
#include "diag/system_info.h"

namespace brovana {
namespace {

constexpr size_t kMaxMessage = 1024;

std::tm localTime(std::time_t when) {
  std::tm parts{};
  localtime_r(&when, &parts);
  return parts;
}

std::string formatTime(std::time_t when, const char* format) {
  std::tm parts = localTime(when);
  char text[128];
  size_t n = std::strftime(text, sizeof text, format, &parts);
  return std::string(text, n);
}

std::string vformat(const char* format, va_list args) {
  char text[kMaxMessage + 1];
  int n = std::vsnprintf(text, sizeof text, format, args);
  if (n < 0) return {};
  return std::string(text, std::min(static_cast<size_t>(n), kMaxMessage));
}

// "%*s" of width n with a one-star text: the star stands in column n after the bar.
std::string bar(int n) {
  return n > 0 ? std::string(n - 1, ' ') + "*\n" : "\n";
}

}  // namespace

// Fixed formats rather than the locale's, so that a log reads the same on every desktop.
std::string logTimeText(std::time_t when) {
  return formatTime(when, "%m/%d/%y %H:%M:%S");
}

LogBook::LogBook(std::function<int()> sessionNumber, int verbosity)
    : sessionNumber_(std::move(sessionNumber)), verbosity_(verbosity) {}

LogBook::~LogBook() {
  if (file_) std::fclose(file_);
}

bool LogBook::openLocked(const std::string& timeText) {
  if (file_) return true;
  char folder[PATH_MAX];
  if (!getcwd(folder, sizeof folder)) return false;
  path_ = formatText("%s/%s%d.txt", folder, "live_log", sessionNumber_ ? sessionNumber_() : 0);
  file_ = std::fopen(path_.c_str(), "w");
  if (!file_) return false;
  writeRawLocked(formatText("%s (build %d)\nLog file for %s, built on %s\n", kVersionText, kBuildNumber,
                            timeText.c_str(), kReleaseDate));
  writeRawLocked(kSeparatorLine);
  return true;
}

void LogBook::writeRawLocked(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

void LogBook::log(const char* format, va_list args) {
  write(vformat(format, args));
}

void LogBook::write(const std::string& message) {
  std::string timeText = logTimeText(std::time(nullptr));
  std::lock_guard lock(mutex_);
  if (!openLocked(timeText)) return;
  writeRawLocked("(" + timeText + ") " + message);
}

void LogBook::addcount(int series, int value) {
  addSample(series, std::time(nullptr), value);
}

void LogBook::addSample(int series, std::time_t when, int value) {
  if (series < 0 || series >= kSeriesCount) return;
  std::lock_guard lock(mutex_);
  series_[series].push_back({when, value});
}

void LogBook::countFailedFile() {
  std::lock_guard lock(mutex_);
  ++failedFiles_;
}

int LogBook::countReconnect() {
  int count;
  {
    std::lock_guard lock(mutex_);
    count = ++reconnects_;
  }
  addcount(static_cast<int>(LogSeries::Reconnects), 1);
  return count;
}

void LogBook::countTrackPlayed() {
  std::lock_guard lock(mutex_);
  ++tracksPlayed_;
}

void LogBook::countDeadAir(bool fallbackSwitch) {
  std::lock_guard lock(mutex_);
  ++(fallbackSwitch ? fallbackSwitches_ : silences_);
}

void LogBook::countPlaylistLoop() {
  std::lock_guard lock(mutex_);
  ++playlistLoops_;
}

void LogBook::setDropouts(int total) {
  int increase;
  {
    std::lock_guard lock(mutex_);
    dropouts_ = total;
    increase = total - lastDropouts_;
    lastDropouts_ = total;
  }
  if (increase > 0) addcount(static_cast<int>(LogSeries::Dropouts), increase);
}

void LogBook::setStatsSource(StatsSource* source) {
  std::lock_guard lock(mutex_);
  statsSource_ = source;
}

// The source may go to the network; the lock is not held meanwhile.
bool LogBook::refreshStats() {
  StatsSource* source;
  {
    std::lock_guard lock(mutex_);
    source = statsSource_;
  }
  ListenerStats fresh;
  if (!source || !source->refreshStats(fresh)) return false;
  std::lock_guard lock(mutex_);
  stats_ = fresh;
  return true;
}

void LogBook::sampleListeners() {
  refreshStats();
  addcount(static_cast<int>(LogSeries::Listeners), listeners());
}

int LogBook::listeners() {
  refreshStats();
  std::lock_guard lock(mutex_);
  return stats_.listeners;
}

int LogBook::averageMinutes() {
  refreshStats();
  std::lock_guard lock(mutex_);
  return stats_.averageMinutes;
}

float LogBook::rating() {
  refreshStats();
  std::lock_guard lock(mutex_);
  return stats_.rating;
}

int LogBook::failedFiles() const {
  std::lock_guard lock(mutex_);
  return failedFiles_;
}

int LogBook::reconnects() const {
  std::lock_guard lock(mutex_);
  return reconnects_;
}

int LogBook::dropouts() const {
  std::lock_guard lock(mutex_);
  return dropouts_;
}

int LogBook::tracksPlayed() const {
  std::lock_guard lock(mutex_);
  return tracksPlayed_;
}

int LogBook::playlistLoops() const {
  std::lock_guard lock(mutex_);
  return playlistLoops_;
}

void LogBook::logUserInfo() {
  StatsSource* source;
  {
    std::lock_guard lock(mutex_);
    source = statsSource_;
  }
  if (!source) return;
  std::string member = source->memberName();
  std::string system = osDescription();
  std::string cpu = cpuDescription().value_or("");
  std::string timeText = logTimeText(std::time(nullptr));
  std::lock_guard lock(mutex_);
  if (!file_) return;
  writeRawLocked(formatText("(%s) User : %s, %s\n", timeText.c_str(), member.c_str(), system.c_str()));
  writeRawLocked(formatText("(%s) %s\n", timeText.c_str(), cpu.c_str()));
  writeRawLocked(kSeparatorLine);
}

std::string LogBook::logPath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

void LogBook::writeSummary() {
  write(formatText("Exiting %s\n", kProgramName));
  write(kSeparatorLine);
  int failed, tracks, loops, reconnects, dropouts, silences, switches;
  {
    std::lock_guard lock(mutex_);
    failed = failedFiles_, tracks = tracksPlayed_, loops = playlistLoops_;
    reconnects = reconnects_, dropouts = dropouts_;
    silences = silences_, switches = fallbackSwitches_;
  }
  write(formatText("%d : files couldn't be played.\n", failed));
  write(formatText("%d : internal errors\n", 0));
  write(formatText("%d : tracks played\n", tracks));
  write(formatText("%d : loops through the playlist\n", loops));
  write(formatText("%d : number of reconnects\n", reconnects));
  write(formatText("%d : internal warnings\n", 0));
  write(formatText("%d : total number of signal dropouts\n", dropouts));
  // Only runs that had dead air say so.
  if (silences > 0) write(formatText("%d : silences on the air\n", silences));
  if (switches > 0) write(formatText("%d : switches to or from the fallback playlist\n", switches));
}

bool LogBook::troubledRun() const {
  std::lock_guard lock(mutex_);
  return reconnects_ > 2 && failedFiles_ > 0;
}

void LogBook::writeGraphsAndClose() {
  int reconnects, dropouts;
  {
    std::lock_guard lock(mutex_);
    reconnects = reconnects_, dropouts = dropouts_;
  }
  timeGraph("Listeners", static_cast<int>(LogSeries::Listeners), 5, GraphMode::OneValue, true);
  if (dropouts > 0)
    timeGraph("Dropouts", static_cast<int>(LogSeries::Dropouts), 5, GraphMode::Summing, false);
  if (reconnects > 0)
    timeGraph("Reconnects", static_cast<int>(LogSeries::Reconnects), 5, GraphMode::OneValue, false);

  std::lock_guard lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void LogBook::timeGraph(const char* title, int series, int slotMinutes, GraphMode mode, bool carry) {
  std::lock_guard lock(mutex_);
  if (!file_ || series < 0 || series >= kSeriesCount || slotMinutes <= 0) return;
  GraphState g;
  writeRawLocked("\n\n");
  writeRawLocked(kSeparatorLine);
  writeRawLocked(formatText("Time Graph for %s\n", title));
  writeRawLocked(kSeparatorLine);

  // A summing line carries every sample of its slot, so it is written when the slot is over.
  struct Pending {
    std::time_t when;
    int slot;
    int sum;
  };
  std::optional<Pending> pending;
  auto flush = [&] {
    if (pending) graphLineLocked(g, pending->when, pending->slot, pending->sum, slotMinutes, carry);
    pending.reset();
  };

  int previous = -1;
  for (const Sample& sample : series_[series]) {
    std::tm parts = localTime(sample.when);
    int slot = (parts.tm_hour * 60 + parts.tm_min) / slotMinutes;
    if (slot != previous && mode == GraphMode::Summing) flush();
    if (slot < previous) {
      writeRawLocked(kSeparatorLine);
      writeRawLocked(formatTime(sample.when, "%m/%d/%y, %A") + "\n");
      writeRawLocked(kSeparatorLine);
    }
    if (mode == GraphMode::OneValue) {
      if (slot != previous) graphLineLocked(g, sample.when, slot, sample.value, slotMinutes, carry);
    } else if (pending) {
      pending->sum += sample.value;
    } else {
      pending = Pending{sample.when, slot, sample.value};
    }
    previous = slot;
  }
  flush();
}

void LogBook::graphLineLocked(GraphState& g, std::time_t when, int slot, int value, int slotMinutes,
                              bool carry) {
  const std::time_t slotSeconds = static_cast<std::time_t>(slotMinutes) * 60;
  const std::time_t slotStart = when - when % slotSeconds;
  auto label = [&](std::time_t start, int shown) {
    std::tm parts = localTime(start);
    writeRawLocked(formatText("%2d:%02d (%d)|", parts.tm_hour, parts.tm_min, shown) + bar(shown));
  };
  if (!carry) g.lastValue = 0;
  if (!g.firstLine && slot > g.lastSlot)
    for (int k = 1; k < slot - g.lastSlot; ++k) label(g.lastSlotStart + k * slotSeconds, g.lastValue);
  label(slotStart, value);
  g.lastValue = value;
  g.lastSlot = slot;
  g.lastSlotStart = slotStart;
  g.firstLine = false;
}

namespace {

// The core's own lines (message boxes, refused priorities) come here from the start of the run.
[[maybe_unused]] const bool kCoreLinesLogged = [] {
  setLogSink([](const std::string& line) { Logger::book().write(line.substr(0, kMaxMessage)); });
  return true;
}();

}  // namespace

namespace Logger {

LogBook& book() {
  static LogBook instance([] { return programValues().sessionCount(); },
                          parseInt(std::getenv("BROVANA_DEBUG") ? std::getenv("BROVANA_DEBUG") : ""));
  return instance;
}

void log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  book().log(format, args);
  va_end(args);
}

void debug(int level, const char* format, ...) {
  if (!book().verbose(level)) return;
  va_list args;
  va_start(args, format);
  book().log(format, args);
  va_end(args);
}

}  // namespace Logger
}  // namespace brovana
