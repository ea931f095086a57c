#pragma once
// The per-user settings store: keys named by backslash paths ("Software\Zelvora\Live\default")
// holding text values. A key handle closes when it is destroyed.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace brovana {

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // nullopt when the value does not exist.
  virtual std::optional<std::string> query(std::string_view name) const = 0;
  virtual bool set(std::string_view name, std::string_view value) = 0;

  // A missing value reads as the empty text.
  std::string text(std::string_view name) const { return query(name).value_or(std::string()); }
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Null when the key does not exist.
  virtual std::unique_ptr<RegistryKey> open(std::string_view path) = 0;
  // Opens the key, creating it (and its parents) when missing; null on failure.
  virtual std::unique_ptr<RegistryKey> create(std::string_view path) = 0;
};

// A store that lives in memory: the fake of the tests, and the store of a run that must not
// touch the member's settings.
class MemoryRegistry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> open(std::string_view path) override;
  std::unique_ptr<RegistryKey> create(std::string_view path) override;

 private:
  class Key;
  using Values = std::map<std::string, std::string, std::less<>>;
  std::mutex mutex_;
  std::map<std::string, Values, std::less<>> keys_;
};

}  // namespace brovana
