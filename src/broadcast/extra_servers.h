#pragma once
// The extra servers the member keeps in the settings, and the logic of the Servers dialog that
// edits them. Each is stored as the URL `--also` takes (password included, in the same settings
// file as the member's own password), so one parser and one writer serve both.
//
// ServersEditor holds the list while the dialog is open; the window is a ServersView. A login
// test runs on the editor's own worker, never on the windows' thread, and its result reaches the
// view from that worker (the view posts it to its own thread).

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "broadcast/command_worker.h"
#include "broadcast/server_fan_out.h"
#include "broadcast/stream_target.h"

namespace brovana {

class Registry;
class StatusDisplay;

// The dialog's fields, as the member typed them.
struct ServerForm {
  enum Protocol { Icecast, IcecastTls, Shoutcast };
  int protocol = Icecast;
  std::string host;
  std::string port = "8000";
  std::string mount = "/live";
  std::string user = "source";
  std::string password;
  Codec codec = Codec::Mp3;
  std::string bitrate = "128";  // kbit/s
  int rate = 44100;
  int channels = 2;
  std::string name;
  bool tlsInsecure = false;
};

// The server the fields describe, or the complaint naming the wrong field.
TargetParse targetFromForm(const ServerForm& form);
ServerForm formFromTarget(const StreamTarget& target);
// One line of the list: the name (when it has one), where it goes and the format.
std::string serverRow(const StreamTarget& target);

// The stored servers ("extra_server1" to "extra_server8" in the profile key); one that no longer
// reads as a server is logged and left out.
std::vector<StreamTarget> loadExtraServers(Registry& registry, std::string_view profile);
void saveExtraServers(Registry& registry, std::string_view profile, const std::vector<StreamTarget>& servers);

// Each server's report as a line of the status window: "NAME: STATE, N KB sent, R reconnects".
class StatusServerReports final : public FanOutReports {
 public:
  // Reports go nowhere until a display is given; it must outlive the reports' senders.
  void setStatus(StatusDisplay* status) { status_.store(status); }
  void serverReport(int index, const ServerReport& report) override;

 private:
  std::atomic<StatusDisplay*> status_{nullptr};
};

class ServersView {
 public:
  virtual ~ServersView() = default;
  virtual void showServers(const std::vector<std::string>& rows) = 0;
  // Why the fields were not taken.
  virtual void showProblem(const std::string& text) = 0;
  // A test's outcome; from the editor's worker.
  virtual void showTestResult(const std::string& text) = 0;
};

class ServersEditor {
 public:
  // Reads the stored list; `clients` makes the clients the tests log in with. `stored`, if any,
  // is told on the windows' thread after each change is stored.
  ServersEditor(Registry& registry, std::string profile, SourceClientMaker clients,
                std::function<void()> stored = {});
  // Gives up a test under way and waits for it.
  ~ServersEditor();
  ServersEditor(const ServersEditor&) = delete;
  ServersEditor& operator=(const ServersEditor&) = delete;

  void attach(ServersView* view);
  const std::vector<StreamTarget>& servers() const { return servers_; }
  ServerForm form(int index) const;
  // index -1 adds a server; false (and the view told why) when the fields are wrong or the list
  // is full. Each change is stored at once.
  bool apply(int index, const ServerForm& form);
  void remove(int index);
  // Logs in with the fields' server and logs out again, on the worker; false when the fields
  // are wrong (the view is told at once).
  bool test(const ServerForm& form);

 private:
  void changed();

  Registry& registry_;
  const std::string profile_;
  SourceClientMaker clients_;
  const std::function<void()> stored_;
  std::vector<StreamTarget> servers_;  // the windows' thread
  std::atomic<ServersView*> view_{nullptr};
  std::atomic<bool> cancel_{false};
  CommandWorker worker_;  // last: its command uses the fields above
};

}  // namespace brovana
