#include "net/web_service.h"

#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/ini_file.h"
#include "core/prompts.h"
#include "core/text.h"
#include "diag/logger.h"
#include "net/song_update_sender.h"

namespace brovana {
namespace {

template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// The texts of a track go out in UTF-8 (ID3v1 tags hold Latin-1), cut as the "%.127s" of the
// add_song formats cuts them, but never inside a character.
std::string trackText(std::string_view text, size_t most = std::string::npos) {
  std::string utf8 = asUtf8(text);
  if (utf8.size() > most) {
    size_t n = most;
    while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
    utf8.resize(n);
  }
  return utf8;
}

std::string decimal(int value) {
  return std::to_string(value);
}

// "%1.1f" without the process locale, which may write a decimal comma.
std::string oneDecimal(double value) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
  return error == std::errc() ? std::string(text, end) : std::string("0.0");
}

// The file name part of a track's path, cut at the first ".mp3".
std::string songFileName(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  size_t ext = path.find(".mp3");
  if (ext != std::string_view::npos) path = path.substr(0, ext);
  return std::string(path);
}

std::string songPathStart(const ServerInfo& account) {
  return "/cgi-bin/add_song.cgi?version=2&pass=" + queryEscape(fieldText(account.pass)) +
         "&handle=" + queryEscape(fieldText(account.username));
}

std::atomic<bool>& switchedToLiveFlag() {
  static std::atomic<bool> flag{false};
  return flag;
}

bool isWebAddress(std::string_view url) {
  auto startsNoCase = [&](std::string_view prefix) {
    return url.size() >= prefix.size() && equalsIgnoreCase(url.substr(0, prefix.size()), prefix);
  };
  return startsNoCase("http://") || startsNoCase("https://");
}

}  // namespace

bool HttpClient::getDetailed(const std::string& host, const std::string& user, const std::string& path,
                             std::string& answer, size_t capacity, const GetOptions& options) {
  if (options.status) *options.status = 0;
  return get(host, user, path, answer, capacity, options.async);
}

void GenreTable::assign(std::vector<std::string> names) {
  if (names.size() > kMaxGenres) names.resize(kMaxGenres);
  std::lock_guard lock(mutex_);
  names_ = std::move(names);
}

std::vector<std::string> GenreTable::names() const {
  std::lock_guard lock(mutex_);
  return names_;
}

size_t GenreTable::count() const {
  std::lock_guard lock(mutex_);
  return names_.size();
}

GenreTable& genreTable() {
  static GenreTable table;
  return table;
}

WebService::WebService(HttpClient& http, std::string webHost, SongUpdateSender* songs)
    : http_(http), webHost_(std::move(webHost)), songs_(songs) {}

const std::string& WebService::webHost() const {
  return webHost_;
}

std::string WebService::songHost() const {
  return webHost_.find(kMainWebHost) != std::string::npos ? std::string(kSongUpdateHost) : webHost_;
}

int WebService::bcinfo(ServerInfo& info, bool sessionFormAllowed) {
  std::string member = fieldText(info.username);
  if (member.empty()) return kBcinfoFailed;
  std::string session = fieldText(info.sessionid);
  std::string path = "/cgi-bin/bcinfo.cgi?membername=" + queryEscape(member);
  if (sessionFormAllowed && !session.empty())
    path += "&sessionid=" + queryEscape(session) + "&version=2";
  else
    path += "&password=" + queryEscape(fieldText(info.pass)) + "&version=2";

  std::string answer;
  get(member, path, answer, kAccountAnswerSize);
  AccountAnswer kind = AccountAnswer::Bcinfo;
  if (isErrorPage(answer)) {
    std::string djinfo = "/cgi-bin/djinfo.cgi?membername=" + queryEscape(member) +
                         "&password=" + queryEscape(fieldText(info.pass));
    get(member, djinfo, answer, kAccountAnswerSize);
    if (answer.starts_with("</BODY></HTML")) return kBcinfoNoAnswer;
    kind = AccountAnswer::Djinfo;
  }
  return parseAccountAnswer(answer, kind, info);
}

bool WebService::livelogin(ServerInfo& info) {
  std::string member = fieldText(info.username);
  std::string path = "/cgi-bin/livelogin.cgi?membername=" + queryEscape(member) +
                     "&password=" + queryEscape(fieldText(info.pass));
  std::string answer;
  get(member, path, answer, kLoginAnswerSize);
  return parseLoginAnswer(answer, info);
}

bool WebService::netcastSwitch(const std::string& member, const std::string& password, StationMode mode,
                               int waitSeconds) {
  std::string path = std::string("/cgi-bin/netcast.cgi?stream=") + stationModeName(mode) +
                     "&membername=" + queryEscape(member) + "&password=" + queryEscape(password) +
                     "&action=switch";
  std::string answer;
  get(member, path, answer, kAccountAnswerSize);
  if (answer.find('0') == std::string::npos) return false;
  // The service needs a moment before the member's server takes a source in the new mode.
  if (waitSeconds > 0) std::this_thread::sleep_for(std::chrono::seconds(waitSeconds));
  switchedToLiveFlag() = mode == StationMode::Live;
  return true;
}

namespace {

std::string switchPath(const std::string& member, const std::string& password, const std::string& action) {
  return "/cgi-bin/switch.cgi?membername=" + queryEscape(member) + "&password=" + queryEscape(password) +
         "&action=" + action;
}

}  // namespace

bool WebService::switchServer(Prompts& prompts, const std::string& member, const std::string& password,
                              ServerSwitch to) {
  const std::string action = to == ServerSwitch::On ? "ON" : "OFF";
  prompts.waitCursor(true);
  prompts.notice("Turning " + action + " your broadcast server, standby...");
  Logger::log("Toggling %s the broadcast server for %s\n", action.c_str(), member.c_str());
  std::string answer;
  bool ok = get(member, switchPath(member, password, action), answer, kAccountAnswerSize, {.async = true});
  if (ok)
    Logger::log("Broadcast server successfully switched %s\n", action.c_str());
  else
    Logger::log("Unable to switch broadcast server %s\n", action.c_str());
  prompts.notice("");
  prompts.waitCursor(false);
  return ok;
}

bool WebService::silent() const {
  return std::chrono::steady_clock::now().time_since_epoch().count() < silentUntil_.load();
}

bool WebService::switchServerOffAtExit(const std::string& member, const std::string& password) {
  std::string answer;
  GetOptions options;
  options.limit = kExitSwitchLimit;
  if (get(member, switchPath(member, password, "OFF"), answer, kAccountAnswerSize, options)) {
    Logger::log("Broadcast server successfully switched OFF\n");
    return true;
  }
  Logger::log("Unable to switch broadcast server OFF: the Zelvora service did not answer within %d s\n",
              static_cast<int>(kExitSwitchLimit.count()));
  return false;
}

void WebService::limitTime(std::optional<std::chrono::milliseconds> budget) {
  budgetLeftMs_ = budget ? budget->count() : -1;
}

bool WebService::get(const std::string& user, const std::string& path, std::string& answer, size_t capacity,
                     GetOptions options) {
  using Clock = std::chrono::steady_clock;
  answer.clear();
  if (silent()) return false;
  options.stop = &abandoned_;
  int64_t budget = budgetLeftMs_.load();
  if (budget >= 0) {
    std::chrono::milliseconds left(budget);
    options.limit = options.limit.count() > 0 ? std::min(options.limit, left) : left;
  }
  Clock::time_point begin = Clock::now();
  bool answered = budget != 0 && http_.getDetailed(webHost_, user, path, answer, capacity, options);
  if (budget > 0) {
    int64_t spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
    // Other threads spend from the same budget.
    int64_t left = budgetLeftMs_.load();
    while (left > 0 && !budgetLeftMs_.compare_exchange_weak(left, std::max<int64_t>(0, left - spent))) {
    }
  }
  if (answered) {
    silentUntil_ = 0;
    return true;
  }
  // An abandoned request says nothing about the service.
  if (!abandoned_.load()) silentUntil_ = (Clock::now() + kServiceQuietTime).time_since_epoch().count();
  return false;
}

bool WebService::switchedToLive() const {
  return switchedToLiveFlag();
}

SongRequest WebService::songRequest(const ServerInfo& account, std::string_view title) const {
  return {songHost(), fieldText(account.username),
          songPathStart(account) + "&title=" + queryEscape(trackText(title)) + "&seconds=0"};
}

SongRequest WebService::songRequest(const ServerInfo& account, const TrackFacts& track) const {
  std::string path = songPathStart(account);
  if (track.hasTag) {
    path += "&fileName=" + queryEscape(trackText(songFileName(track.path), 127)) +
            "&seconds=" + decimal(track.seconds) + "&title=" + queryEscape(trackText(track.title, 127)) +
            "&artist=" + queryEscape(trackText(track.artist, 127)) +
            "&album=" + queryEscape(trackText(track.album, 127)) + "&year=" + decimal(track.year) +
            "&id3genre=" + queryEscape(track.genreName);
  } else {
    path += "&title=" + queryEscape(trackText(track.displayTitle)) + "&seconds=" + decimal(track.seconds);
  }
  return {songHost(), fieldText(account.username), std::move(path)};
}

SongRequest WebService::songInfoRequest(const ServerInfo& account, std::string_view title,
                                        std::optional<std::string_view> artist,
                                        std::optional<std::string_view> album) const {
  std::string path = songPathStart(account);
  if (artist && album)
    path += "&title=" + queryEscape(trackText(title, 127)) +
            "&artist=" + queryEscape(trackText(*artist, 127)) +
            "&album=" + queryEscape(trackText(*album, 127)) + "&seconds=0";
  else
    path += "&title=" + queryEscape(trackText(title)) + "&seconds=0";
  return {songHost(), fieldText(account.username), std::move(path)};
}

bool WebService::handOver(SongRequest request) {
  if (!songs_) return false;
  songs_->handOver(std::move(request));
  return true;
}

bool WebService::postSong(const ServerInfo& account, std::string_view title) {
  return handOver(songRequest(account, title));
}

bool WebService::postSong(const ServerInfo& account, const TrackFacts& track) {
  return handOver(songRequest(account, track));
}

bool WebService::postSongInfo(const ServerInfo& account, std::string_view title,
                              std::optional<std::string_view> artist, std::optional<std::string_view> album) {
  return handOver(songInfoRequest(account, title, artist, album));
}

int WebService::checkVersion(const ServerInfo& account, double major, int minor, Prompts& prompts,
                             ProgramExit& exit) {
  std::string member = fieldText(account.username);
  std::string path = "/cgi-bin/checkversion.cgi?app=mirobeam&major=" + oneDecimal(major) +
                     "&minor=" + decimal(minor) + "&platform=win";
  std::string answer;
  get(member, path, answer, kAccountAnswerSize);
  auto version = parseVersionAnswer(answer);
  if (!version) return -1;
  if (version->code != 1 && version->code != 2) return version->code;

  // The address comes over plain HTTP and goes to the desktop's "open": only a web page is opened.
  bool usable = isWebAddress(version->url);
  if (version->code == 1) {
    Question question;
    question.text = "A new version of Brovana-Live is available. Would you like to upgrade now?";
    question.caption = "Mirobeam";
    if (!prompts.ask(question)) return version->code;
  } else {
    prompts.warning("A new version of Brovana-Live is available. You must upgrade.", "Mirobeam");
  }
  if (usable)
    prompts.open(version->url);
  else
    Logger::log("The upgrade address from the service is not a web page; it is not opened\n");
  exit.endProgram(0);
  return version->code;
}

bool WebService::fetchGenreList(GenreTable& table) {
  std::string answer;
  bool ok = get(" ", "/scripts/genredata.js", answer, kDownloadAnswerSize);
  std::vector<std::string> names;
  if (!parseGenreList(answer, names)) return false;
  table.assign(std::move(names));
  return ok;
}

bool WebService::fetchScript(const std::string& fileName) {
  std::string answer;
  int status = 0;
  if (!get(" ", "/scripts/" + queryEscape(fileName), answer, kDownloadAnswerSize, {.status = &status}))
    return false;
  // A "not found" page must not replace the member's copy of the file.
  if (status != 0 && (status < 200 || status > 299)) return false;

  // Opened for update so that a missing file is not created.
  std::fstream file(fileName, std::ios::in | std::ios::out | std::ios::binary);
  if (!file) return true;
  file.write(answer.data(), static_cast<std::streamsize>(answer.size()));
  file.close();
  std::error_code error;
  std::filesystem::resize_file(fileName, answer.size(), error);
  return true;
}

std::string WebService::hostplayDisplayName() {
  fetchScript(kNamesFile);
  return hostplayNameFromFile(kNamesFile);
}

std::string hostplayNameFromFile(const std::string& path) {
  constexpr size_t kBuffer = 256;  // the value is read into a buffer of this size
  std::string name = "hostplay";
  if (auto ini = IniFile::load(path))
    if (auto value = ini->value("names", "HOSTPLAYNAME")) name = *value;
  if (name.size() >= kBuffer) name.resize(kBuffer - 1);
  return name;
}

std::string WebService::lineQualityHelpUrl() const {
  return "http://" + webHost_ + "/broadcast/Brovana-Live/line-quality.html";
}

std::string WebService::programHelpUrl() const {
  return "http://" + webHost_ + "/broadcast/Brovana-Live/brovana-live.html";
}

std::string WebService::tipsUrl() const {
  return "http://" + webHost_ + "/broadcast/Brovana-Live/tips-tricks.html";
}

std::string directoryEntryUrl(std::string_view member) {
  return std::string("http://") + kDirectoryHost + "/cgi-bin/directory.cgi?autostart=" + queryEscape(member);
}

std::string registrationUrl() {
  return std::string("http://") + kDirectoryHost + "/registration/index.html";
}

}  // namespace brovana
