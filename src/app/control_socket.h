#pragma once
// The studio's control socket: a Unix socket in the user's runtime folder, one per working
// folder, that only its user may open (mode 0600). One thread serves every client with poll():
// each complete line is a request, answered with one line. A client whose request grows past the
// limit, or that sends nothing for the idle time, is answered (or not) and let go; the handler
// decides which requests end their connection. The socket is removed when the object goes; a
// socket left behind by a studio that was killed is replaced.
//
// Threads: the handler runs on the socket's thread, one request at a time.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "app/remote_requests.h"

namespace brovana {

struct ControlLimits {
  size_t maxRequestBytes = 64 * 1024;
  std::chrono::milliseconds idle{10000};
};

class ControlSocket {
 public:
  using Handler = std::function<RemoteReply(std::string_view line)>;

  explicit ControlSocket(Handler handler, ControlLimits limits = {});
  ~ControlSocket();
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  // Listens at `path` and starts serving; false, with `error` set, when it cannot.
  bool open(const std::string& path, std::string& error);

 private:
  struct Client;
  void serve();
  // A client's bytes: its complete lines answered. False when the connection is to end.
  bool takeInput(Client& client, std::string_view bytes);

  Handler handler_;
  const ControlLimits limits_;
  std::string path_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};  // written to by the destructor to end serve()
  std::thread thread_;
};

// The control socket of the studio on `workingFolder`: in $XDG_RUNTIME_DIR, or without one in a
// folder of the user's own under /tmp (made when `make`).
std::string controlSocketPath(const std::string& workingFolder, bool make);

// Sends one request line to the socket at `path`; its answer line, or none with `error` saying
// why (no studio answers there, or it did not answer within `limit`).
std::optional<std::string> callControlSocket(const std::string& path, const std::string& request,
                                             std::chrono::milliseconds limit, std::string& error);

}  // namespace brovana
