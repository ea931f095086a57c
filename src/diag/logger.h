#pragma once
// The run's log file, its counters and time series, and the end-of-run summary.
//
// Every module writes through Logger::log. The state behind it is one program-wide LogBook;
// tests make their own LogBook to look at one in isolation.

#include <cstdarg>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace brovana {

class Prompts;

inline constexpr const char* kVersionText = "Brovana-Live 2.01 - Jan. 29, 2001";
inline constexpr int kBuildNumber = 110;
inline constexpr const char* kBuildDate = "Thu Jan 25 10:41:35 2001";
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
  explicit LogBook(std::function<int()> sessionNumber);
  ~LogBook();
  LogBook(const LogBook&) = delete;
  LogBook& operator=(const LogBook&) = delete;

  void log(const char* format, va_list args);
  void write(const std::string& message);  // one time-stamped line, as log() writes it

  void addcount(int series, int value);
  void addSample(int series, std::time_t when, int value);
  void countFailedFile();
  int countReconnect();
  void countTrackPlayed();
  void countPlaylistLoop();
  void setDropouts(int total);
  void sampleListeners();
  void setStatsSource(StatsSource* source);

  int listeners();
  int averageMinutes();
  float rating();
  int failedFiles() const;
  int reconnects() const;
  int tracksPlayed() const;
  int playlistLoops() const;

  void logUserInfo();
  std::string logPath() const;
  void showLogFile(Prompts& prompts) const;
  void finish(Prompts& prompts);

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
  ListenerStats stats_;
  StatsSource* statsSource_ = nullptr;
  std::vector<Sample> series_[kSeriesCount];
};

// The local time as the log writes it: "01/29/01 18:11:30".
std::string logTimeText(std::time_t when);

// The program-wide log, named by the session number of the stored settings.
namespace Logger {

LogBook& book();

void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Detailed traces: accepted and dropped, so that call sites can stay where they help a reader.
template <typename... Args>
void debug(int /*level*/, Args&&...) {}

inline void addcount(int series, int value) { book().addcount(series, value); }
inline void countFailedFile() { book().countFailedFile(); }
inline int countReconnect() { return book().countReconnect(); }
inline void countTrackPlayed() { book().countTrackPlayed(); }
inline void countPlaylistLoop() { book().countPlaylistLoop(); }
inline void setDropouts(int total) { book().setDropouts(total); }
inline void sampleListeners() { book().sampleListeners(); }
inline void setStatsSource(StatsSource* source) { book().setStatsSource(source); }
inline int listeners() { return book().listeners(); }
inline int averageMinutes() { return book().averageMinutes(); }
inline float rating() { return book().rating(); }
inline int failedFiles() { return book().failedFiles(); }
inline int reconnects() { return book().reconnects(); }
inline void logUserInfo() { book().logUserInfo(); }
inline std::string getLogPath() { return book().logPath(); }
inline void showLogFile(Prompts& prompts) { book().showLogFile(prompts); }
inline void finish(Prompts& prompts) { book().finish(prompts); }

}  // namespace Logger
}  // namespace brovana
