#include "support/child_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/temp_folder.h"

namespace brovana::test {
namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, std::string logFile, std::vector<std::string> env) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ != 0) return;
  // Child: own process group, so that a stop reaches whatever it starts too.
  setpgid(0, 0);
  int fd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  dup2(fd, 1);
  dup2(fd, 2);
  dup2(open("/dev/null", O_RDONLY), 0);
  for (std::string& e : env) putenv(e.data());
  execvp(args[0], args.data());
  _exit(127);
}

bool ChildProcess::running() {
  if (pid_ <= 0) return false;
  if (waitpid(pid_, &status_, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

double ChildProcess::cpuSeconds() const {
  std::string stat = readFile("/proc/" + std::to_string(pid_) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i >= 14) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double ChildProcess::peakMiB() const {
  std::string status = readFile("/proc/" + std::to_string(pid_) + "/status");
  size_t at = status.find("VmHWM:");
  return at == std::string::npos ? 0 : std::stod(status.substr(at + 6)) / 1024;
}

std::map<std::string, ChildProcess::ThreadTimes> ChildProcess::threadTimes() const {
  std::map<std::string, ThreadTimes> threads;
  std::error_code gone;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task", gone)) {
    ThreadTimes& thread = threads[task.path().filename().string()];
    thread.name = readFile(task.path() / "comm");
    if (!thread.name.empty() && thread.name.back() == '\n') thread.name.pop_back();
    thread.seconds = std::atof(readFile(task.path() / "schedstat").c_str()) / 1e9;
    std::string status = readFile(task.path() / "status");
    size_t at = status.find("voluntary_ctxt_switches:");
    if (at != std::string::npos) thread.wakes = std::atof(status.c_str() + at + 24);
  }
  return threads;
}

int ChildProcess::wait(std::chrono::milliseconds limit) {
  if (!waitUntil([this] { return !running(); }, limit)) return -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int ChildProcess::stop(int signal, std::chrono::milliseconds grace) {
  if (pid_ > 0) kill(pid_, signal);
  int result = wait(grace);
  if (pid_ <= 0) return result;
  kill(-pid_, SIGKILL);
  kill(pid_, SIGKILL);
  waitpid(pid_, &status_, 0);
  pid_ = -1;
  return -1;
}

int freeLoopbackPort(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(port);
  socklen_t length = sizeof address;
  bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  close(fd);
  return bound ? ntohs(address.sin_port) : -1;
}

int connectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  close(fd);
  return -1;
}

bool waitForPort(int port, std::chrono::milliseconds limit) {
  int fd = -1;
  return waitUntil([&] { return (fd = connectLoopback(port)) >= 0; }, limit) && close(fd) == 0;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  for (auto deadline = std::chrono::steady_clock::now() + limit; !done();
       std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    if (std::chrono::steady_clock::now() >= deadline) return false;
  return true;
}

std::string builtProgram(const std::string& name) {
  return std::string(BROVANA_BINARY_DIR) + "/bin/" + name;
}

std::string commandOutput(const std::string& command, int* status) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  int code = pipe ? pclose(pipe) : -1;
  if (status) *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
  return text;
}

}  // namespace brovana::test
