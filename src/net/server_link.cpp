#include "net/server_link.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/interval.h"
#include "core/prompts.h"
#include "core/speed_names.h"
#include "core/text.h"
#include "net/web_service.h"

namespace brovana {
namespace {

constexpr const char* kIcyPrefix = "icy-";
constexpr const char* kStationTag = "[Zelvora]";
constexpr const char* kLiveMark = "[*]";
constexpr int kMaxLineSpeed = 100000;
constexpr int kMaxOutputBitrate = 56000;
constexpr int kHeaderLineBytes = 300;
constexpr int kOnAirSlot = 2;
constexpr long kOnAirShowMs = 5000;
constexpr int kSwitchEveryFailures = 20;

template <size_t N>
void copyText(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// The fields that a bcinfo answer fills, from serverOn to port; the credentials and the session
// id stay with their own writers.
void copyFacts(ServerInfo& to, const ServerInfo& from) {
  to.serverOn = from.serverOn;
  to.accountMode = from.accountMode;
  to.listeners = from.listeners;
  to.maxListeners = from.maxListeners;
  to.avgListenMinutes = from.avgListenMinutes;
  to.rating = from.rating;
  std::memcpy(to.host, from.host, sizeof to.host);
  to.port = from.port;
}

// One header line, cut so that it always ends with its line feed: a long description must not
// run into the next header. The station's texts lose their control characters: a line end in
// one of them would add a header line of its own, or end the block and spill into the stream.
std::string headerLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string headerLine(const char* format, ...) {
  char line[kHeaderLineBytes];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return "\n";
  std::string text(line, std::min(n, kHeaderLineBytes - 2));
  std::erase_if(text, [](unsigned char c) { return c < 0x20 || c == 0x7F; });
  return text + "\n";
}

}  // namespace

ServerLink::ServerLink(std::string webHost, LinkReports* reports, AccountService& service, Prompts& prompts,
                       ServerLinkTimings timings)
    : webHost_(std::move(webHost)),
      reports_(reports),
      service_(service),
      prompts_(prompts),
      timings_(timings),
      creationTime_(std::time(nullptr)) {
  outputBitrate_ = outputBitrateForLineSpeed(lineSpeed_);
  socket_.setTimeouts(timings_.connectTimeout, timings_.ioTimeout);
  socket_.setStallTimeout(timings_.stallTimeout);
  refreshThread_ = std::thread([this] { infoRefreshThread(); });
}

ServerLink::~ServerLink() {
  {
    std::lock_guard lock(stopMutex_);
    stop_ = true;
  }
  // The thread may be asleep for the whole refresh interval: wake it rather than wait it out.
  stopSignal_.notify_all();
  if (refreshThread_.joinable()) refreshThread_.join();
  ++interrupting_;
  socket_.interrupt();
  std::lock_guard lock(linkMutex_);
  socket_.close();
}

void ServerLink::infoRefreshThread() {
  std::unique_lock lock(stopMutex_);
  while (!stop_) {
    lock.unlock();
    refreshServerInfo();
    lock.lock();
    stopSignal_.wait_for(lock, timings_.refreshInterval, [this] { return stop_; });
  }
}

// ---- the link ----

void ServerLink::connect() {
  std::lock_guard lock(linkMutex_);
  connectLocked();
}

void ServerLink::connectLocked() {
  if (closed_) return;
  if (reports_) reports_->statusText("Trying to connect to server, standby...");
  socket_.open();
  std::string host;
  int port;
  {
    std::lock_guard lock(infoMutex_);
    host = info_.host;
    port = info_.port;
  }
  if (socket_.connect(host, port))
    Logger::log("Connection made with server, %s, port %d\n", host.c_str(), port);
  else
    Logger::log("Connection failed with server, %s,  port %d\n", host.c_str(), port);
}

bool ServerLink::login() {
  std::lock_guard lock(linkMutex_);
  return loginLocked();
}

bool ServerLink::loginLocked() {
  std::string member, password;
  {
    std::lock_guard lock(infoMutex_);
    member = info_.username, password = info_.pass;
  }
  Logger::log("Logging on to account for %s\n", member.c_str());
  std::string line = password + "\n";
  socket_.sendAll(line.data(), line.size());

  // Exactly two bytes of the answer are read; whatever the server sends after them stays unread.
  // They may arrive in two pieces.
  char answer[3] = {};
  int received = 0;
  while (received < 2) {
    int n = socket_.receive(answer + received, 2 - received);
    if (n <= 0) break;
    received += n;
  }
  if (received == 0) {
    loggedOn_ = false;
    Logger::log("Log-in failed\n");
    return false;
  }
  if (received < 2 || std::memcmp(answer, "OK", 2) != 0) {
    loggedOn_ = false;
    Logger::log("Log-in failed, server error=%s\n", answer);
    return false;
  }
  sendHeadersLocked();
  if (reports_) reports_->statusText(kConnectedText);
  loggedOn_ = true;
  ++logins_;
  logonTime_ = std::time(nullptr);
  Logger::log("Logged on successfully\n");
  return true;
}

// Every header line is a write of its own; the block ends with an empty line.
void ServerLink::sendHeadersLocked() {
  std::string message, url;
  std::optional<std::string> genre[3];
  bool livetag;
  int pub, bitrate;
  {
    std::lock_guard lock(stationMutex_);
    message = message_, url = url_, livetag = livetag_, pub = pub_, bitrate = outputBitrate_;
    for (int i = 0; i < 3; ++i) genre[i] = genres_[i];
  }
  auto send = [this](const std::string& line) { socket_.sendAll(line.data(), line.size()); };

  if (livetag)
    send(headerLine("%sname:%s%s%s\n", kIcyPrefix, kStationTag, message.c_str(), kLiveMark));
  else
    send(headerLine("%sname:%s%s\n", kIcyPrefix, kStationTag, message.c_str()));
  if (genre[0]) {
    if (genre[1] && genre[2])
      send(headerLine("%sgenre:%s,%s,%s\n", kIcyPrefix, genre[0]->c_str(), genre[1]->c_str(),
                      genre[2]->c_str()));
    else if (genre[1])
      send(headerLine("%sgenre:%s,%s\n", kIcyPrefix, genre[0]->c_str(), genre[1]->c_str()));
    else
      send(headerLine("%sgenre:%s\n", kIcyPrefix, genre[0]->c_str()));
  }
  send(headerLine("%surl: %s\n", kIcyPrefix, url.c_str()));
  send(headerLine("%spub: %d\n", kIcyPrefix, pub));
  send(headerLine("%sbr: %d\n", kIcyPrefix, bitrate / 1000));
  send("\n");
}

int ServerLink::sendStream(const uint8_t* bytes, size_t length, bool reconnectAllowed) {
  std::lock_guard lock(linkMutex_);
  updateOnAirClock();
  int result = socket_.sendAll(bytes, length);
  if (result < 0 && reconnectAllowed && !reconnecting_ && interrupting_ == 0 && !closed_) {
    reconnectLocked();
    result = socket_.sendAll(bytes, length);
  }
  if (result > 0) bytesSent_ += result;
  StreamTap* tap = tap_;
  if (tap && result == static_cast<int>(length)) tap->sent(bytes, length, logins_);
  return result;
}

bool ServerLink::reconnect() {
  std::lock_guard lock(linkMutex_);
  return reconnectLocked();
}

bool ServerLink::reconnectLocked() {
  Logger::log("Line down, attempting to reconnect. The line has dropped %d times.\n", Logger::reconnects());
  if (reports_) reports_->errorCounts();
  loggedOn_ = false;
  reconnecting_ = true;
  if (reports_) reports_->state(kTitleReconnecting);
  socket_.close();
  if (reports_) reports_->statusText("Connection lost, attempting to reconnect...standby...");
  connectLocked();
  if (loginLocked()) {
    if (reports_) {
      reports_->statusText("Re-connected successfully!");
      reports_->state(kTitleOnAir);
      reports_->speeds(lineSpeed(), outputBitrate());
    }
    reconnecting_ = false;
    Logger::log("Re-connected successfully!\n");
    Logger::countReconnect();
    failureCount_ = 0;
    return true;
  }
  if (reports_) reports_->state(kTitleOffAir);
  reconnecting_ = false;
  Logger::log("Re-connect failed\n");
  // On the first failure and every 20th after it, ask the service to put the stream back in
  // live mode: a server that fell back to Hostplay refuses the source.
  if (failureCount_ % kSwitchEveryFailures == 0) {
    std::string member, password;
    {
      std::lock_guard lock(infoMutex_);
      member = info_.username, password = info_.pass;
    }
    service_.netcastSwitch(member, password, StationMode::Live, 3);
  }
  ++failureCount_;
  return false;
}

void ServerLink::disconnect() {
  loggedOn_ = false;
  ++interrupting_;
  socket_.interrupt();
  {
    std::lock_guard lock(linkMutex_);
    socket_.close();
  }
  --interrupting_;
}

void ServerLink::closeLink() {
  closed_ = true;
  socket_.interrupt(true);
  disconnect();
}

void ServerLink::restartOnAirClock() {
  onAirSeconds_ = 0;
  clockRestart_ = true;
}

// Seconds on the air, summed over every login of the broadcast; called with the link lock held.
void ServerLink::updateOnAirClock() {
  if (reconnecting_) return;
  std::time_t now = std::time(nullptr);
  std::time_t logon = logonTime_;
  if (clockRestart_.exchange(false)) {
    // The pause before a new broadcast is no time on the air.
    onAirSeconds_ = 0;
    elapsedAtLastCheck_ = now - logon;
    lastCheck_ = now;
    return;
  }
  if (logon < lastCheck_) {
    std::time_t elapsed = now - logon;
    int total = onAirSeconds_ += static_cast<int>(elapsed - elapsedAtLastCheck_);
    if (intervalElapsed(kOnAirSlot, kOnAirShowMs) && reports_) reports_->onAirTime(total);
    elapsedAtLastCheck_ = elapsed;
  } else {
    elapsedAtLastCheck_ = 0;
  }
  lastCheck_ = now;
}

// ---- account facts ----

bool ServerLink::refreshServerInfo() {
  std::lock_guard refresh(refreshMutex_);
  return refreshLocked();
}

// The request works on a copy; only its answer's fields are copied back, whole, so that readers
// never see a half-written record and a password set meanwhile is not undone.
bool ServerLink::refreshLocked() {
  ServerInfo scratch = serverInfo();
  if (service_.bcinfo(scratch, true) != kBcinfoOk) return false;
  {
    std::lock_guard lock(infoMutex_);
    copyFacts(info_, scratch);
  }
  infoFetched_ = true;
  return true;
}

void ServerLink::ensureInfo() {
  if (infoFetched_) return;
  std::lock_guard refresh(refreshMutex_);
  // A refresh that was running while we waited may have done the work.
  if (!infoFetched_) refreshLocked();
}

ServerInfo ServerLink::serverInfo() const {
  std::lock_guard lock(infoMutex_);
  return info_;
}

AccountCheck ServerLink::verifyAccount(const std::string& member, const std::string& password,
                                       bool showMessages) {
  ServerInfo scratch;  // no session id: the request takes the password form
  copyText(scratch.username, member);
  copyText(scratch.pass, password);
  int result = service_.bcinfo(scratch, false);
  if (showMessages) {
    const char* text = nullptr;
    if (result == kBcinfoFailed || result == kBcinfoBadLogin)
      text =
          "Unable to log in, either your username or password are incorrect (passwords are case-sensitive), "
          "try "
          "again";
    else if (result == kBcinfoNotBroadcaster)
      text =
          "Unable to log in, you may have registered as a member, but have not registered as a broadcaster "
          "yet.";
    else if (result == kBcinfoNoAnswer)
      text = kServiceUnreachableText;
    if (text) {
      prompts_.warning(text);
      Logger::log("\n");
    }
  }
  if (result == kBcinfoOk) return AccountCheck::Good;
  if (result == kBcinfoBadLogin) return AccountCheck::Refused;
  return result == kBcinfoNoAnswer ? AccountCheck::Unreachable : AccountCheck::Failed;
}

// The service checks the pair before it is taken: refused credentials must never replace
// working ones, be used for the stream, or be saved at exit. The live log-in must take the pair
// as well, or a station stored with it would never go on the air.
AccountCheck ServerLink::setCredentials(const std::string& member, const std::string& password) {
  AccountCheck result = verifyAccount(member, password, true);
  if (result != AccountCheck::Good) return result;
  ServerInfo scratch = serverInfo();
  copyText(scratch.username, member);
  copyText(scratch.pass, password);
  if (!service_.livelogin(scratch)) {
    prompts_.warning(
        formatText("The service refused the live log-in of %s; nothing was changed.", member.c_str()));
    return AccountCheck::Refused;
  }
  std::lock_guard lock(infoMutex_);
  copyText(info_.username, member);
  copyText(info_.pass, password);
  std::memcpy(info_.sessionid, scratch.sessionid, sizeof info_.sessionid);
  return result;
}

void ServerLink::setMemberName(const std::string& name) {
  std::lock_guard lock(infoMutex_);
  copyText(info_.username, name);
}

void ServerLink::setPassword(const std::string& password) {
  ServerInfo scratch;
  {
    std::lock_guard lock(infoMutex_);
    copyText(info_.pass, password);
    scratch = info_;
  }
  service_.livelogin(scratch);
  std::lock_guard lock(infoMutex_);
  std::memcpy(info_.sessionid, scratch.sessionid, sizeof info_.sessionid);
}

bool ServerLink::refreshStats(ListenerStats& out) {
  ensureInfo();
  std::lock_guard lock(infoMutex_);
  out.listeners = info_.listeners;
  out.averageMinutes = info_.avgListenMinutes;
  out.rating = info_.rating;
  return true;
}

std::string ServerLink::memberName() const {
  std::lock_guard lock(infoMutex_);
  return info_.username;
}

std::string ServerLink::host() {
  ensureInfo();
  std::lock_guard lock(infoMutex_);
  return info_.host;
}

int ServerLink::port() {
  ensureInfo();
  std::lock_guard lock(infoMutex_);
  return info_.port;
}

std::string ServerLink::username() {
  ensureInfo();
  std::lock_guard lock(infoMutex_);
  return info_.username;
}

bool ServerLink::serverOn() {
  ensureInfo();
  std::lock_guard lock(infoMutex_);
  return info_.serverOn != 0;
}

bool ServerLink::isHostplay() {
  ensureInfo();
  std::lock_guard lock(infoMutex_);
  return info_.accountMode == kModeHostplay;
}

std::string ServerLink::pass() const {
  std::lock_guard lock(infoMutex_);
  return info_.pass;
}

int ServerLink::listeners() const {
  std::lock_guard lock(infoMutex_);
  return info_.listeners;
}

int ServerLink::maxListeners() const {
  std::lock_guard lock(infoMutex_);
  return info_.maxListeners;
}

int ServerLink::avgListenMinutes() const {
  std::lock_guard lock(infoMutex_);
  return info_.avgListenMinutes;
}

float ServerLink::rating() const {
  std::lock_guard lock(infoMutex_);
  return info_.rating;
}

// ---- station fields ----

void ServerLink::setMessage(const std::string& text) {
  std::lock_guard lock(stationMutex_);
  message_ = text;
}

void ServerLink::setGenre(int index, const std::string& text) {
  if (index < 0 || index > 2) return;
  std::lock_guard lock(stationMutex_);
  genres_[index] = text.empty() ? std::nullopt : std::optional<std::string>(text);
}

void ServerLink::setLiveTag(bool on) {
  std::lock_guard lock(stationMutex_);
  livetag_ = on;
}

void ServerLink::setUrl(const std::string& text) {
  bool hasScheme = text.find("http:") != std::string::npos || text.find("HTTP:") != std::string::npos;
  std::lock_guard lock(stationMutex_);
  url_ = hasScheme ? text : "http://" + text;
}

void ServerLink::setLineSpeed(int bitsPerSecond) {
  if (bitsPerSecond > kMaxLineSpeed) {
    prompts_.information(
        "Your last broadcast is too high a speed for this version of Mirobeam. Dropping to a lower rate.");
    bitsPerSecond = kMaxLineSpeed;
  }
  std::lock_guard lock(stationMutex_);
  lineSpeed_ = bitsPerSecond;
}

void ServerLink::setOutputBitrate(int bitsPerSecond) {
  if (bitsPerSecond > kMaxOutputBitrate) {
    char text[200];
    std::snprintf(
        text, sizeof text,
        "Your last broadcast is too high a speed for this version of Mirobeam (%d bps). Dropping to a "
        "lower rate.",
        bitsPerSecond);
    prompts_.information(text);
    bitsPerSecond = kMaxOutputBitrate;
  }
  std::lock_guard lock(stationMutex_);
  outputBitrate_ = bitsPerSecond;
}

int ServerLink::lineSpeed() const {
  std::lock_guard lock(stationMutex_);
  return lineSpeed_;
}

int ServerLink::outputBitrate() const {
  std::lock_guard lock(stationMutex_);
  return outputBitrate_;
}

std::string ServerLink::message() const {
  std::lock_guard lock(stationMutex_);
  return message_;
}

std::string ServerLink::url() const {
  std::lock_guard lock(stationMutex_);
  return url_;
}

std::optional<std::string> ServerLink::genre(int index) const {
  if (index < 0 || index > 2) return std::nullopt;
  std::lock_guard lock(stationMutex_);
  return genres_[index];
}

bool ServerLink::livetag() const {
  std::lock_guard lock(stationMutex_);
  return livetag_;
}

int ServerLink::pub() const {
  std::lock_guard lock(stationMutex_);
  return pub_;
}

}  // namespace brovana
