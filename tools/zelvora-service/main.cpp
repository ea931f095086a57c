// zelvora-service: the emulator of the Zelvora service's web API (see --help).

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service.h"

namespace {

int usage(const std::string& error) {
  std::fprintf(stderr, "zelvora-service: %s\nTry 'zelvora-service --help'.\n", error.c_str());
  return 2;
}

bool toPort(const char* text, int& port) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value < 1 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

// What the command line asks for; an exit code when the run ends here (help, or a mistake).
struct Options {
  zelvora::Settings settings;
  int port = 0;
  std::vector<std::string> accountFiles;
  std::vector<std::string> accountOptions;
  std::string genresFile;
};

std::optional<int> parseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(zelvora::Service::helpText().c_str(), stdout);
      return 0;
    }
    if (i + 1 >= argc) return usage("unknown option or missing value: " + option);
    const char* value = argv[++i];
    if (option == "--port") {
      if (!toPort(value, o.port)) return usage(std::string("not a port: ") + value);
    } else if (option == "--accounts") {
      o.accountFiles.push_back(value);
    } else if (option == "--account") {
      o.accountOptions.push_back(value);
    } else if (option == "--broadcast-host") {
      o.settings.broadcastHost = value;
    } else if (option == "--broadcast-port") {
      if (!toPort(value, o.settings.broadcastPort) || o.settings.broadcastPort < 2)
        return usage(std::string("not a broadcast port: ") + value);
    } else if (option == "--checkversion") {
      o.settings.checkversion = value;
    } else if (option == "--hostplay-name") {
      o.settings.hostplayName = value;
    } else if (option == "--genres") {
      o.genresFile = value;
    } else {
      return usage("unknown option: " + option);
    }
  }
  if (o.port == 0) return usage("--port N is required");
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (std::optional<int> code = parseOptions(argc, argv, o)) return *code;
  int port = o.port;

  zelvora::Service service(o.settings);
  for (const std::string& file : o.accountFiles)
    if (std::string error = service.loadAccounts(file); !error.empty()) return usage(error);
  for (const std::string& given : o.accountOptions)
    if (std::string error = service.addAccountOption(given); !error.empty()) return usage(error);
  if (!o.genresFile.empty())
    if (std::string error = service.loadGenres(o.genresFile); !error.empty()) return usage(error);

  // The stop signals are taken by one thread with sigwait; every other thread (the server's
  // workers inherit this mask) leaves them alone.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  httplib::Server server;
  server.set_keep_alive_timeout(2);
  service.install(server);
  if (!server.bind_to_port("127.0.0.1", port)) {
    std::fprintf(stderr, "zelvora-service: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
    return 1;
  }

  std::atomic<bool> signalled{false};
  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    signalled = true;
    service.shutdown();
    server.stop();
  });
  std::fprintf(stderr, "zelvora-service: listening on 127.0.0.1:%d\n", port);
  bool clean = server.listen_after_bind();
  // The server may end without a signal (a failed accept): wake the stopper so it can be joined.
  if (!signalled) {
    service.shutdown();
    pthread_kill(stopper.native_handle(), SIGTERM);
  }
  stopper.join();
  std::fprintf(stderr, "zelvora-service: stopped\n");
  return clean ? 0 : 1;
}
