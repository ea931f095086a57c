#pragma once
// The per-user settings store on disk: an INI file in the format QSettings writes, key paths
// mapped to groups.
// The file holds the member's password, so it is readable by its owner only.

#include <string>

#include "core/registry.h"

namespace brovana {

// $XDG_CONFIG_HOME/brovana-live/settings.ini (default ~/.config/...).
std::string defaultSettingsPath();

class SettingsRegistry final : public Registry {
 public:
  explicit SettingsRegistry(std::string path = defaultSettingsPath());
  ~SettingsRegistry() override;

  std::unique_ptr<RegistryKey> open(std::string_view path) override;
  std::unique_ptr<RegistryKey> create(std::string_view path) override;

  const std::string& path() const { return path_; }

 private:
  class Key;
  struct Store;
  std::string path_;
  std::unique_ptr<Store> store_;
};

}  // namespace brovana
