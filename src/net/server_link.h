#pragma once
// The program's one link to the member's broadcast server: TCP connect, the source log-in (the
// password line, a two-byte "OK", the icy- header block), then the MP3 stream, with a reconnect
// when a write fails. It also holds the station fields that go into the header block and the
// account facts (ServerInfo) that a worker thread refreshes from the service every 120 seconds.
//
// Threads: the user interface calls the setters, verifyAccount, the first connect and login and
// disconnect; the conversion thread calls sendStream (and through it reconnect); the refresh
// thread writes the account facts; the Logger reads the listener figures from any thread.
// Socket work is serialised by one lock, the account facts sit under another and are written
// whole, and the station fields under a third.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "diag/logger.h"
#include "net/account_service.h"
#include "net/link_reports.h"
#include "net/server_info.h"
#include "net/source_socket.h"

namespace brovana {

class Prompts;

inline constexpr const char* kDefaultStationUrl = "http://www.zelvora.example/";
// The status once the server took the log-in.
inline constexpr const char* kConnectedText = "Connected!!";

// Whoever also keeps the stream (a recording): given every block that went out whole, exactly as
// the server got it, on the conversion thread with the link lock held, so it must not block.
class StreamTap {
 public:
  virtual ~StreamTap() = default;
  // `login` numbers the logins of the connection: a new number means the stream resumed on a new
  // link (a reconnect or a restart), so what follows continues after a gap.
  virtual void sent(const uint8_t* bytes, size_t length, int login) = 0;
};

// A failed request is no verdict on the account: it is said apart, and nothing is to be corrected.
inline constexpr const char* kServiceUnreachableText =
    "The Zelvora service cannot be reached (or gave no usable answer), so your account could not be "
    "checked. Try again later.";

// verifyAccount's answers.
enum class AccountCheck { Good, Refused, Failed, Unreachable };

struct ServerLinkTimings {
  std::chrono::milliseconds connectTimeout = SourceSocket::kDefaultConnectTimeout;
  // A log-in answer that does not come within this long counts as a dropped line.
  std::chrono::milliseconds ioTimeout = SourceSocket::kDefaultIoTimeout;
  std::chrono::milliseconds refreshInterval{120000};
  // A send of which the server acknowledges nothing for this long counts as a dropped line.
  std::chrono::milliseconds stallTimeout = SourceSocket::kDefaultStallTimeout;
};

class ServerLink : public StatsSource {
 public:
  // Starts the account refresh thread at once; its first refresh runs straight away. The
  // reports may be none; they must outlive the connection.
  ServerLink(std::string webHost, LinkReports* reports, AccountService& service, Prompts& prompts,
             ServerLinkTimings timings = {});
  ~ServerLink() override;
  ServerLink(const ServerLink&) = delete;
  ServerLink& operator=(const ServerLink&) = delete;

  // TCP connect to the account's server; a failure shows up in the login that follows.
  void connect();
  bool login();
  // The conversion stage's output. `length` when every byte went out, 0 when the peer took
  // none, -1 on an error; a failed write runs one reconnect and one resend when allowed.
  int sendStream(const uint8_t* bytes, size_t length, bool reconnectAllowed = true);
  bool reconnect();
  // Logged off and socket closed; wakes a send that is stuck on a stalled server.
  void disconnect();
  // Off the air for good (the exit, or a stop during the start-up): as disconnect, and from now
  // on nothing connects, logs in or reconnects. From any thread.
  void closeLink();
  // A new broadcast on the link: its time on the air counts from zero, from its first block.
  void restartOnAirClock();
  // Nothing is buffered between sendStream and the socket.
  void flush() {}
  // The tap must outlive the connection; null takes it away.
  void setTap(StreamTap* tap) { tap_ = tap; }

  bool refreshServerInfo();
  // An AccountCheck: good, wrong member name or password, refused otherwise, or the service gave
  // no answer to judge by. Leaves this connection's own account facts alone.
  AccountCheck verifyAccount(const std::string& member, const std::string& password, bool showMessages);
  // verifyAccount with messages, then the service's live log-in with the pair; only when both
  // take it, the member name, the password and the new session id. Refused when the live log-in
  // does not take it (said in a warning), else the verification's result.
  AccountCheck setCredentials(const std::string& member, const std::string& password);

  void setMemberName(const std::string& name);
  // Also logs in to the service, which hands out a new session id when it accepts.
  void setPassword(const std::string& password);
  void setMessage(const std::string& text);
  // index 0 to 2; an empty text removes that genre.
  void setGenre(int index, const std::string& text);
  void setLiveTag(bool on);
  void setUrl(const std::string& text);
  void setLineSpeed(int bitsPerSecond);
  void setOutputBitrate(int bitsPerSecond);

  int lineSpeed() const;
  int outputBitrate() const;
  bool loggedOn() const { return loggedOn_.load(); }
  bool reconnecting() const { return reconnecting_.load(); }
  std::string message() const;
  std::string url() const;
  std::optional<std::string> genre(int index) const;
  bool livetag() const;
  int pub() const;
  const std::string& webHost() const { return webHost_; }
  std::string pass() const;
  int listeners() const;
  int maxListeners() const;
  int avgListenMinutes() const;
  float rating() const;
  int onAirSeconds() const { return onAirSeconds_.load(); }
  // The stream bytes the server took in this run.
  long long bytesSent() const { return bytesSent_.load(); }
  bool infoFetched() const { return infoFetched_.load(); }
  std::time_t creationTime() const { return creationTime_; }
  // These fetch the account facts first when no refresh has succeeded yet.
  std::string host();
  int port();
  std::string username();
  bool serverOn();
  bool isHostplay();
  // A consistent copy of the account facts, as they stand.
  ServerInfo serverInfo() const;

  // StatsSource, for the Logger.
  bool refreshStats(ListenerStats& out) override;
  std::string memberName() const override;

 private:
  void connectLocked();
  bool loginLocked();
  void sendHeadersLocked();
  bool reconnectLocked();
  void updateOnAirClock();
  void ensureInfo();
  bool refreshLocked();
  void infoRefreshThread();

  const std::string webHost_;
  LinkReports* const reports_;
  AccountService& service_;
  Prompts& prompts_;
  const ServerLinkTimings timings_;
  const std::time_t creationTime_;

  // Station fields.
  mutable std::mutex stationMutex_;
  std::string message_ = "Welcome to my show!";
  std::string url_ = kDefaultStationUrl;
  std::optional<std::string> genres_[3] = {std::string("Various"), std::nullopt, std::nullopt};
  bool livetag_ = true;
  int pub_ = 1;
  int lineSpeed_ = 100000;
  int outputBitrate_;

  // Account facts: written whole under infoMutex_; refreshes one at a time under refreshMutex_.
  mutable std::mutex infoMutex_;
  ServerInfo info_;
  std::mutex refreshMutex_;
  std::atomic<bool> infoFetched_{false};

  // The link, under linkMutex_.
  std::mutex linkMutex_;
  SourceSocket socket_;
  std::atomic<bool> loggedOn_{false};
  std::atomic<bool> reconnecting_{false};
  std::atomic<int> interrupting_{0};  // disconnect in progress: a failed write must not reconnect
  std::atomic<bool> closed_{false};   // closeLink: never again
  int failureCount_ = 0;              // reconnect failures since the last success, for the whole run
  std::atomic<std::time_t> logonTime_{0};
  std::time_t lastCheck_ = 0;
  std::time_t elapsedAtLastCheck_ = 0;
  std::atomic<int> onAirSeconds_{0};
  std::atomic<long long> bytesSent_{0};
  std::atomic<bool> clockRestart_{false};  // restartOnAirClock, for the next block
  int logins_ = 0;                         // successful logins of the run, for the tap
  std::atomic<StreamTap*> tap_{nullptr};

  // The refresh thread, started last and joined first.
  std::mutex stopMutex_;
  std::condition_variable stopSignal_;
  bool stop_ = false;
  std::thread refreshThread_;
};

}  // namespace brovana
