#include "app/working_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace fs = std::filesystem;

namespace brovana {

std::string defaultWorkingFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data) return std::string(data) + "/brovana-live";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.local/share/brovana-live";
}

namespace {

// <prefix>/ of the running program, whose bin/ holds it.
fs::path installPrefix() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path();
}

// Locks the file at `path`, made when missing, and writes this process's id into it; the open
// descriptor, or -1 with `error` naming `what` it guards and `remedy`. Not inherited by the
// programs the studio starts (the desktop's "open"), which would otherwise keep the lock after the
// studio ended.
int lockFile(const std::string& path, const std::string& what, const char* remedy, std::string& error) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot make the lock file " + path + " (" + std::strerror(errno) + "); " + remedy;
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    std::string holder;
    std::getline(std::ifstream(path), holder);
    error = "another brovana-live" + (holder.empty() ? std::string() : " (process " + holder + ")") +
            " is running on " + what + "; stop that one first, or " + remedy;
    ::close(fd);
    return -1;
  }
  std::ofstream(path, std::ios::trunc) << ::getpid() << '\n';
  return fd;
}

}  // namespace

StudioLock::~StudioLock() {
  release();
}

void StudioLock::release() {
  for (int* fd : {&work_, &settings_})
    if (*fd >= 0) ::close(std::exchange(*fd, -1));
}

bool StudioLock::take(const std::string& workingFolder, const std::string& settingsFile, std::string& error) {
  release();
  work_ = lockFile((fs::path(workingFolder) / "brovana-live.lock").string(),
                   "the working folder " + workingFolder, "give this one another with --workdir DIR", error);
  if (work_ < 0) return false;
  settings_ = lockFile(settingsFile + ".studio.lock", "the settings " + settingsFile,
                       "give this one other settings with XDG_CONFIG_HOME", error);
  if (settings_ < 0) release();
  return settings_ >= 0;
}

std::string shippedFilesFolder() {
  if (const char* dir = std::getenv("BROVANA_SHARE_DIR"); dir && *dir) return dir;
  std::error_code ec;
  fs::path installed = installPrefix() / "share/brovana-live";
  return fs::is_directory(installed, ec) ? installed.string() : BROVANA_SHARE_DIR;
}

std::string shippedPluginsFolder() {
  return (installPrefix() / BROVANA_PLUGIN_DIR).string();
}

std::string shippedWindowsModule() {
  return (installPrefix() / BROVANA_WINDOWS_MODULE).string();
}

bool enterWorkingFolder(const std::string& folder, const std::string& shareDir, std::string& error,
                        const std::string& pluginDir) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    error = "cannot create the working folder " + folder + ": " + ec.message() +
            "; choose another with --workdir DIR";
    return false;
  }
  if (fs::is_directory(shareDir, ec)) {
    for (auto it = fs::recursive_directory_iterator(shareDir, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      fs::path target = fs::path(folder) / fs::relative(it->path(), shareDir, ec);
      if (it->is_directory(ec))
        fs::create_directories(target, ec);
      else if (!fs::exists(target, ec))
        fs::copy_file(it->path(), target, ec);
    }
  }
  if (!pluginDir.empty() && fs::is_directory(pluginDir, ec)) {
    fs::create_directories(fs::path(folder) / "Plugins", ec);
    for (auto it = fs::directory_iterator(pluginDir, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
      fs::path link = fs::path(folder) / "Plugins" / it->path().filename();
      // A link left by a removed package still counts as the member's: it is not replaced.
      if (fs::symlink_status(link, ec).type() == fs::file_type::not_found)
        fs::create_symlink(it->path(), link, ec);
    }
  }
  if (::chdir(folder.c_str()) != 0) {
    error = "cannot change into the working folder " + folder + "; choose another with --workdir DIR";
    return false;
  }
  return true;
}

}  // namespace brovana
