#include "app/working_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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

}  // namespace

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
