#pragma once
// Everything the program says to the service outside the stream: plain HTTP GETs to the web
// host (account facts, switches, version check, genre list, names file) and the hand-over of
// the song-title updates to their background sender.
//
// Every value placed into a query is percent-encoded, so that a title with a blank, "&", "#" or
// an accented letter reaches the service whole; the service decodes standard query strings.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/account_service.h"
#include "net/server_info.h"

namespace brovana {

class Prompts;
class ProgramExit;
class SongUpdateSender;

// The service's hosts. The web host is the default of the -host switch; add_song requests go to
// the song-update host only while the web host is the main one, so that a -host pointing at a
// test service receives them too.
inline constexpr const char* kMainWebHost = "www.zelvora.example";
inline constexpr const char* kSongUpdateHost = "songs.zelvora.example";
inline constexpr const char* kDirectoryHost = "directory.zelvora.example";
// The names file in the working folder; it gives the Hostplay mode its display name.
inline constexpr const char* kNamesFile = "brovana_live.ini";

// bcinfo reports a listener limit of 100 or -1 for accounts on the service's default plan; the
// log's listener statistics show this figure instead.
inline constexpr int kListenerLimitSubstitute = 1000;

// Answer capacities: the body is cut at capacity - 1 bytes.
// The member's broadcast server, as the switch request turns it.
enum class ServerSwitch { Off, On };

inline constexpr size_t kAccountAnswerSize = 256;     // bcinfo, djinfo, netcast, switch, checkversion
inline constexpr size_t kLoginAnswerSize = 100;       // livelogin
inline constexpr size_t kSongAnswerSize = 1024;       // add_song
inline constexpr size_t kDownloadAnswerSize = 10000;  // genre list, names file
inline constexpr size_t kMaxGenres = 499;

// bcinfo results, as the connection turns them into its messages.
enum BcinfoResult : int {
  kBcinfoOk = 0,
  kBcinfoNoAnswer = 1,        // the service did not answer, or not with an account answer
  kBcinfoFailed = 2,          // no member name, bcinfo -1
  kBcinfoNotBroadcaster = 3,  // bcinfo -4
  kBcinfoBadLogin = 4,        // bcinfo -2, djinfo -1
  kBcinfoCode3 = 5,           // bcinfo -3
};

// What a few callers need of a GET beyond the plain call.
struct GetOptions {
  bool async = false;
  // Set by another thread: the transfer is abandoned and the call returns false.
  const std::atomic<bool>* stop = nullptr;
  // Receives the HTTP status; 0 when the client cannot tell.
  int* status = nullptr;
  // A shorter limit for the whole transfer than the client's own; zero: the client's.
  std::chrono::milliseconds limit{0};
  // The User-Agent, for a peer that is not the service; none: the client's own.
  const char* userAgent = nullptr;
};

// The one blocking HTTP GET. `host` may carry a port ("127.0.0.1:8080"); without one, port 80.
// The body goes into `answer`, at most capacity - 1 bytes; the rest is read and dropped, and a
// NUL byte ends the text. A failure leaves `answer` empty. The HTTP status does not matter: an
// error page is an answer like any other.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual bool get(const std::string& host, const std::string& user, const std::string& path,
                   std::string& answer, size_t capacity, bool async = false) = 0;
  // Clients without the extras fall back on get() and report status 0.
  virtual bool getDetailed(const std::string& host, const std::string& user, const std::string& path,
                           std::string& answer, size_t capacity, const GetOptions& options);
};

// RFC 3986 percent-encoding of one query value or path segment: only A-Z a-z 0-9 - . _ ~ stay.
std::string queryEscape(std::string_view value);

// --- Answer parsers: pure, so that tests and fuzzers reach them directly. ---

enum class AccountAnswer { Bcinfo, Djinfo };
// An answer beginning with "</BODY></HTML" or longer than 100 characters is the service's error page.
bool isErrorPage(std::string_view answer);
// Reads "code mode ON|OFF listeners limit minutes rating host port" into `info`; a BcinfoResult.
// Only a whole answer is stored; a missing token or a figure that is no number stores nothing.
int parseAccountAnswer(std::string_view answer, AccountAnswer kind, ServerInfo& info);
// A livelogin answer "0 SESSIONID" stores the session id; true when it did.
bool parseLoginAnswer(std::string_view answer, ServerInfo& info);
struct VersionAnswer {
  int code = 0;
  std::string url;  // the upgrade page, blanks around it dropped; may be empty
};
// nullopt for an empty answer.
std::optional<VersionAnswer> parseVersionAnswer(std::string_view answer);
// The names between "// START GENRE LIST" and "// END GENRE LIST", at most kMaxGenres. False
// (and `names` untouched) without the start marker.
bool parseGenreList(std::string_view answer, std::vector<std::string>& names);

// --- What a title update says about a track; the playlist fills it from the file's MP3 facts. ---
struct TrackFacts {
  std::string path;          // the file, as the playlist holds it
  std::string displayTitle;  // the playlist's title of the track (untagged files)
  int seconds = 0;
  bool hasTag = false;
  // The tag's texts as the MP3 facts give them (a single blank when empty).
  std::string title;
  std::string artist;
  std::string album;
  int year = 0;
  std::string genreName;
};

// One whole add_song request, as the sender takes it.
struct SongRequest {
  std::string host;
  std::string user;
  std::string path;
};

// The station genres that the dialogs' drop-down lists offer, in the service's order. Filled once
// at start-up, read by the dialogs afterwards.
class GenreTable {
 public:
  void assign(std::vector<std::string> names);
  std::vector<std::string> names() const;
  size_t count() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> names_;
};
GenreTable& genreTable();

class WebService {
 public:
  // `songs` carries the add_song requests; without one they are dropped.
  WebService(HttpClient& http, std::string webHost, SongUpdateSender* songs = nullptr);

  const std::string& webHost() const;
  // Where add_song requests go: the song-update host while the web host is the main one.
  std::string songHost() const;

  int bcinfo(ServerInfo& info, bool sessionFormAllowed);
  bool livelogin(ServerInfo& info);
  // Live (wait 3 s) or Hostplay (wait 0 s); sets switchedToLive() on success.
  // The flag is one for the run, whichever WebService made the switch (the connection's
  // reconnect and the supervisor may hold different ones).
  bool netcastSwitch(const std::string& member, const std::string& password, StationMode mode,
                     int waitSeconds);
  bool switchServer(Prompts& prompts, const std::string& member, const std::string& password,
                    ServerSwitch to);
  bool switchedToLive() const;
  // From any thread: every request under way or made from now on ends at once without an answer,
  // until this is switched off again. For a stop that must not wait on a slow service.
  void abandonRequests(bool on) { abandoned_ = on; }
  bool abandoned() const { return abandoned_.load(); }
  // The service gave no answer lately (a request failed without one): until the quiet time is
  // over, or a request gets through, further requests give up at once instead of each waiting out
  // its time limit, so a dead or hanging service costs one time-out, not one per request.
  bool silent() const;
  // The service's share of a start-up: while a budget is set, the requests take no longer than it
  // together, and once it is spent the service counts as silent. std::nullopt: no bound.
  void limitTime(std::optional<std::chrono::milliseconds> budget);
  // The member's server off at the exit: a short limit, and a log line when it could not be made.
  bool switchServerOffAtExit(const std::string& member, const std::string& password);

  // Title updates. They only build the request and hand it to the sender; false when there is
  // no sender.
  bool postSong(const ServerInfo& account, std::string_view title);
  bool postSong(const ServerInfo& account, const TrackFacts& track);
  // The "Submit Program Information" dialog: the typed form when artist and album are given,
  // otherwise the title alone.
  bool postSongInfo(const ServerInfo& account, std::string_view title,
                    std::optional<std::string_view> artist = std::nullopt,
                    std::optional<std::string_view> album = std::nullopt);
  // The requests the two calls above hand over, for their callers' tests.
  SongRequest songRequest(const ServerInfo& account, std::string_view title) const;
  SongRequest songRequest(const ServerInfo& account, const TrackFacts& track) const;
  SongRequest songInfoRequest(const ServerInfo& account, std::string_view title,
                              std::optional<std::string_view> artist,
                              std::optional<std::string_view> album) const;

  // Once at start-up, with major 2.01 and minor 110. Offers or demands the upgrade; the code the
  // service answered, -1 without an answer.
  int checkVersion(const ServerInfo& account, double major, int minor, Prompts& prompts, ProgramExit& exit);

  bool fetchGenreList(GenreTable& table = genreTable());
  // Replaces the local file of that name (in the current folder) with the service's copy; never
  // creates it, and keeps it when the service does not serve the file.
  bool fetchScript(const std::string& fileName);
  // The Hostplay mode's display name from a fresh copy of the names file; "hostplay" by default.
  std::string hostplayDisplayName();

  // Pages opened in the browser.
  std::string lineQualityHelpUrl() const;
  std::string programHelpUrl() const;
  std::string tipsUrl() const;

 private:
  bool handOver(SongRequest request);
  // A GET to the web host that abandonRequests can end.
  bool get(const std::string& user, const std::string& path, std::string& answer, size_t capacity,
           GetOptions options = {});

  HttpClient& http_;
  std::string webHost_;
  SongUpdateSender* songs_;
  std::atomic<bool> abandoned_{false};
  std::atomic<std::chrono::steady_clock::rep> silentUntil_{0};  // steady-clock ticks; 0: answering
  std::atomic<int64_t> budgetLeftMs_{-1};                       // -1: no bound
};

inline constexpr const char* kServiceSilentText =
    "The Zelvora service does not answer, so Brovana-Live cannot log in to your broadcast server. Check "
    "your internet connection, or try again later.";

// How long a service that gave no answer is left alone, the service's share of a start-up, and the
// exit's limit for the switch-off.
inline constexpr std::chrono::seconds kServiceQuietTime{60};
inline constexpr std::chrono::seconds kStartupServiceTime{20};
inline constexpr std::chrono::seconds kExitSwitchLimit{2};

// The Hostplay mode's display name from a names file; "hostplay" when the file, the section or
// the key is missing.
std::string hostplayNameFromFile(const std::string& path = kNamesFile);

// The station's directory entry (for the tell-a-friend mail) and the member registration page.
std::string directoryEntryUrl(std::string_view member);
std::string registrationUrl();

}  // namespace brovana
