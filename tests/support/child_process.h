#pragma once
// Real peers for the integration tests: a child process that is stopped (SIGTERM, then SIGKILL)
// when the object goes away; waits; loopback sockets: free ports, connections, waits for a port.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace brovana::test {

class ChildProcess {
 public:
  // Starts `argv[0]` (looked up in PATH) with the arguments; its standard output and error go
  // to `logFile` (appended). `env` entries ("NAME=value") are added to the environment.
  ChildProcess(std::vector<std::string> argv, std::string logFile, std::vector<std::string> env = {});
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  // Sends the signal and waits up to `grace` for the exit; returns the exit status, or -1.
  int stop(int signal = 15, std::chrono::milliseconds grace = std::chrono::seconds(5));
  // Waits for the process to end by itself; the exit status, or -1 on time-out (it keeps running).
  int wait(std::chrono::milliseconds limit);
  // CPU seconds (user and system) the process has used so far.
  double cpuSeconds() const;
  // Its peak resident memory so far (VmHWM), in MiB.
  double peakMiB() const;
  // One thread so far: its name, CPU seconds (the scheduler's nanosecond count, finer than the
  // clock ticks of cpuSeconds) and the sleeps it woke from.
  struct ThreadTimes {
    std::string name;
    double seconds = 0, wakes = 0;
  };
  // Its live threads, by thread id.
  std::map<std::string, ThreadTimes> threadTimes() const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// Asks `done` every 10 ms until it says true (then true) or `limit` has passed (then false).
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// Binds a socket to 127.0.0.1:port (0: any free port) and closes it again; the port, or -1.
int freeLoopbackPort(int port = 0);
// A socket connected to 127.0.0.1:port, or -1.
int connectLoopback(int port);
// True once 127.0.0.1:port accepts a connection, false after `limit`.
bool waitForPort(int port, std::chrono::milliseconds limit);

// The path of a program built with the project (the studio, the tools): build/bin/NAME.
std::string builtProgram(const std::string& name);
// What a shell command writes to its standard output; its exit status into `status` if given.
std::string commandOutput(const std::string& command, int* status = nullptr);

}  // namespace brovana::test
