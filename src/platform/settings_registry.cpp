#include "platform/settings_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace brovana {
namespace {

// "Software\Zelvora\Live" becomes the group "Software/Zelvora/Live".
QString groupOf(std::string_view path) {
  QString group = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
  group.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return group;
}

QString keyOf(std::string_view group, std::string_view name) {
  return groupOf(group) + QLatin1Char('/') +
         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// Creates the file empty and private before QSettings first writes it; QSettings keeps the
// permissions of a file it replaces.
void makePrivateFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty() && !std::filesystem::exists(folder)) {
    std::filesystem::create_directories(folder, ignored);
    ::chmod(folder.c_str(), 0700);
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::fchmod(fd, 0600);
    ::close(fd);
  }
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

struct SettingsRegistry::Store {
  explicit Store(const std::string& path) : settings(QString::fromStdString(path), QSettings::IniFormat) {}
  std::mutex mutex;  // QSettings is reentrant, not thread-safe
  QSettings settings;
};

class SettingsRegistry::Key final : public RegistryKey {
 public:
  Key(Store& store, std::string path) : store_(store), path_(std::move(path)) {}

  std::optional<std::string> query(std::string_view name) const override {
    std::lock_guard lock(store_.mutex);
    QVariant value = store_.settings.value(keyOf(path_, name));
    if (!value.isValid()) return std::nullopt;
    return value.toString().toStdString();
  }

  bool set(std::string_view name, std::string_view value) override {
    std::lock_guard lock(store_.mutex);
    store_.settings.setValue(keyOf(path_, name),
                             QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    store_.settings.sync();
    return store_.settings.status() == QSettings::NoError;
  }

 private:
  Store& store_;
  std::string path_;
};

SettingsRegistry::SettingsRegistry(std::string path) : path_(std::move(path)) {
  makePrivateFile(path_);
  store_ = std::make_unique<Store>(path_);
}

SettingsRegistry::~SettingsRegistry() = default;

std::unique_ptr<RegistryKey> SettingsRegistry::open(std::string_view path) {
  std::lock_guard lock(store_->mutex);
  QSettings& s = store_->settings;
  // A key exists when it holds a value or a subkey; an empty group exists only by its marker.
  s.beginGroup(groupOf(path));
  bool exists = !s.childKeys().isEmpty() || !s.childGroups().isEmpty();
  s.endGroup();
  if (!exists) return nullptr;
  return std::make_unique<Key>(*store_, std::string(path));
}

std::unique_ptr<RegistryKey> SettingsRegistry::create(std::string_view path) {
  std::lock_guard lock(store_->mutex);
  QSettings& s = store_->settings;
  s.beginGroup(groupOf(path));
  bool exists = !s.childKeys().isEmpty() || !s.childGroups().isEmpty();
  // QSettings has no empty groups: a marker value makes a created key exist, as it does in a registry.
  if (!exists) s.setValue(QStringLiteral(".key"), QString());
  s.endGroup();
  s.sync();
  return std::make_unique<Key>(*store_, std::string(path));
}

}  // namespace brovana
