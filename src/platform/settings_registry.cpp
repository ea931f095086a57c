#include "platform/settings_registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <tuple>

#include "platform/settings_ini.h"

namespace brovana {
namespace {

// "Software\Zelvora\Live" becomes the group "Software/Zelvora/Live".
std::string groupOf(std::string_view path) {
  std::string group(path);
  for (char& c : group)
    if (c == '\\') c = '/';
  return normalizedIniKey(group);
}

// The folder is the member's alone; the file itself is only ever written private (below).
void makePrivateFolder(const std::string& path) {
  std::error_code ignored;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty() || std::filesystem::exists(folder)) return;
  std::filesystem::create_directories(folder, ignored);
  ::chmod(folder.c_str(), 0700);
}

// Nullopt when the file is there but cannot be read: writing then would lose what it holds.
std::optional<IniEntries> readEntries(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (std::filesystem::exists(path)) return std::nullopt;
    return IniEntries();
  }
  std::ostringstream text;
  text << file.rdbuf();
  return parseIni(text.str());
}

// A private temporary file beside the settings, then a rename: the member's password is never
// readable by others, and a crash leaves the old file or the new one, never half of one.
bool writeAtomically(const std::string& path, const std::string& text) {
  std::string temporary = path + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    ok = written > 0 || (written < 0 && errno == EINTR);
    if (written > 0) done += static_cast<size_t>(written);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace

std::string defaultSettingsPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && *config) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : ".") + "/.config";
  }
  return base + "/brovana-live/settings.ini";
}

// One lock for every key of the store: keys are written from the GUI thread and from workers.
struct SettingsRegistry::Store {
  explicit Store(std::string file) : path(std::move(file)) {
    seen = fileStamp();
    entries = readEntries(path).value_or(IniEntries());
  }

  bool exists(const std::string& group) const {
    auto next = entries.lower_bound(group + '/');
    return next != entries.end() && next->first.compare(0, group.size() + 1, group + '/') == 0;
  }

  // What another instance wrote since is kept: the file is read again before a change when it is
  // not the one last read or written (each write renames a new file over it).
  bool store(const std::string& key, std::string_view value) {
    std::optional<Stamp> now = fileStamp();
    if (!now || now != seen) {
      std::optional<IniEntries> read = readEntries(path);
      if (!read) return false;
      entries = std::move(*read);
      seen = now;
    }
    std::string written = encodeIniValue(value);
    // The settings are saved whole at each exit, mostly as they were: an unchanged value costs no
    // write and no flush to the disk.
    auto found = entries.find(key);
    if (found != entries.end() && found->second == written) return true;
    entries[key] = std::move(written);
    if (!writeAtomically(path, writeIni(entries))) return false;
    seen = fileStamp();
    return true;
  }

  // The file as the file system tells it apart: none when it is not there.
  using Stamp = std::tuple<dev_t, ino_t, off_t, time_t, long>;
  std::optional<Stamp> fileStamp() const {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return Stamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
  }

  std::mutex mutex;
  std::string path;
  IniEntries entries;
  std::optional<Stamp> seen;  // of the file entries came from
};

class SettingsRegistry::Key final : public RegistryKey {
 public:
  Key(Store& store, std::string_view path) : store_(store), group_(groupOf(path)) {}

  std::optional<std::string> query(std::string_view name) const override {
    std::lock_guard lock(store_.mutex);
    auto found = store_.entries.find(keyOf(name));
    if (found == store_.entries.end()) return std::nullopt;
    return decodeIniValue(found->second);
  }

  bool set(std::string_view name, std::string_view value) override {
    std::lock_guard lock(store_.mutex);
    return store_.store(keyOf(name), value);
  }

 private:
  std::string keyOf(std::string_view name) const {
    return normalizedIniKey(group_ + '/' + std::string(name));
  }

  Store& store_;
  std::string group_;
};

SettingsRegistry::SettingsRegistry(std::string path) : path_(std::move(path)) {
  makePrivateFolder(path_);
  store_ = std::make_unique<Store>(path_);
}

SettingsRegistry::~SettingsRegistry() = default;

std::unique_ptr<RegistryKey> SettingsRegistry::open(std::string_view path) {
  std::lock_guard lock(store_->mutex);
  // A key exists when it holds a value or a subkey; an empty one exists only by its marker.
  if (!store_->exists(groupOf(path))) return nullptr;
  return std::make_unique<Key>(*store_, path);
}

std::unique_ptr<RegistryKey> SettingsRegistry::create(std::string_view path) {
  std::lock_guard lock(store_->mutex);
  const std::string group = groupOf(path);
  // An INI file has no empty groups: a marker value makes a created key exist, as in a registry.
  if (!store_->exists(group) && !store_->store(group + "/.key", "")) return nullptr;
  return std::make_unique<Key>(*store_, path);
}

}  // namespace brovana
