#pragma once
// The run's log file, its counters and time series, and the end-of-run summary.
//
// Every module writes through Logger::log. The state behind it is one program-wide LogBook;
// tests make their own LogBook to look at one in isolation.

#include <atomic>
#include <cstdarg>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/version.h"

namespace brovana {

inline constexpr const char* kProgramName = "Brovana-Live";
inline constexpr const char* kSeparatorLine = "----------------------------------------------------\n";

struct ListenerStats {
  int listeners = 0;
  int averageMinutes = 0;
  float rating = 0;
};

// The server connection, as far as the log needs it: listener figures and the member's name.
class StatsSource {
 public:
  virtual ~StatsSource() = default;
  virtual bool refreshStats(ListenerStats& out) = 0;
  virtual std::string memberName() const = 0;
};

enum class LogSeries { Listeners = 0, Dropouts = 1, Reconnects = 2 };
inline constexpr int kSeriesCount = 5;

class LogBook {
 public:
  // sessionNumber names the file ("live_log<N>.txt") when the first line is written.
  explicit LogBook(std::function<int()> sessionNumber, int verbosity = 0);
  ~LogBook();
  LogBook(const LogBook&) = delete;
  LogBook& operator=(const LogBook&) = delete;

  void log(const char* format, va_list args);
  void write(const std::string& message);  // one time-stamped line, as log() writes it
  // Detailed traces are written when `level` is at most the verbosity (0: none, the default).
  void setVerbosity(int verbosity) { verbosity_.store(verbosity); }
  bool verbose(int level) const { return level <= verbosity_.load(); }

  void addcount(int series, int value);
  void addSample(int series, std::time_t when, int value);
  void countFailedFile();
  int countReconnect();
  void countTrackPlayed();
  void countPlaylistLoop();
  // The dead-air guard: a silence on the air, or a switch to or from the fallback playlist.
  void countDeadAir(bool fallbackSwitch);
  void setDropouts(int total);
  void sampleListeners();
  void setStatsSource(StatsSource* source);

  int listeners();
  int averageMinutes();
  float rating();
  int failedFiles() const;
  int reconnects() const;
  int dropouts() const;
  int tracksPlayed() const;
  int playlistLoops() const;

  void logUserInfo();
  std::string logPath() const;

  // The end of the run, in three steps so that the exit sequence can ask whether to open the
  // log between them: the summary of the counters; whether the run went badly enough to offer
  // the log; the time graphs, after which the file is closed.
  void writeSummary();
  bool troubledRun() const;
  void writeGraphsAndClose();

  enum class GraphMode { OneValue, Summing };
  // carry: empty slots repeat the last value instead of standing blank.
  void timeGraph(const char* title, int series, int slotMinutes, GraphMode mode, bool carry);

 private:
  struct Sample {
    std::time_t when;
    int value;
  };
  struct GraphState {
    int lastSlot = 0;
    int lastValue = 0;
    std::time_t lastSlotStart = 0;
    bool firstLine = true;
  };

  bool openLocked(const std::string& timeText);
  void writeRawLocked(const std::string& text);
  bool refreshStats();
  void graphLineLocked(GraphState& g, std::time_t when, int slot, int value, int slotMinutes, bool carry);

  std::function<int()> sessionNumber_;
  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::string path_;
  int failedFiles_ = 0;
  int reconnects_ = 0;
  int tracksPlayed_ = 0;
  int playlistLoops_ = 0;
  int dropouts_ = 0;
  int lastDropouts_ = 0;
  int silences_ = 0;
  int fallbackSwitches_ = 0;
  ListenerStats stats_;
  StatsSource* statsSource_ = nullptr;
  std::atomic<int> verbosity_{0};
  std::vector<Sample> series_[kSeriesCount];
};

// The local time as the log writes it: "01/29/01 18:11:30".
std::string logTimeText(std::time_t when);

// The program-wide log, named by the session number of the stored settings. Its verbosity
// comes from the environment: BROVANA_DEBUG=1 writes the detailed traces too.
namespace Logger {

LogBook& book();

void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A detailed trace (level 1), written only when the verbosity asks for it.
void debug(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

inline void addcount(int series, int value) {
  book().addcount(series, value);
}
inline void countFailedFile() {
  book().countFailedFile();
}
inline int countReconnect() {
  return book().countReconnect();
}
inline void countTrackPlayed() {
  book().countTrackPlayed();
}
inline void countPlaylistLoop() {
  book().countPlaylistLoop();
}
inline void countDeadAir(bool fallbackSwitch) {
  book().countDeadAir(fallbackSwitch);
}
inline void setDropouts(int total) {
  book().setDropouts(total);
}
inline void sampleListeners() {
  book().sampleListeners();
}
inline void setStatsSource(StatsSource* source) {
  book().setStatsSource(source);
}
inline int listeners() {
  return book().listeners();
}
inline int averageMinutes() {
  return book().averageMinutes();
}
inline float rating() {
  return book().rating();
}
inline int failedFiles() {
  return book().failedFiles();
}
inline int reconnects() {
  return book().reconnects();
}
inline int dropouts() {
  return book().dropouts();
}
inline void logUserInfo() {
  book().logUserInfo();
}
inline std::string getLogPath() {
  return book().logPath();
}
inline void writeSummary() {
  book().writeSummary();
}
inline bool troubledRun() {
  return book().troubledRun();
}
inline void writeGraphsAndClose() {
  book().writeGraphsAndClose();
}

}  // namespace Logger
}  // namespace brovana
