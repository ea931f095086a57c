#include "core/registry.h"

namespace brovana {

class MemoryRegistry::Key final : public RegistryKey {
 public:
  Key(MemoryRegistry& owner, std::string path) : owner_(owner), path_(std::move(path)) {}

  std::optional<std::string> query(std::string_view name) const override {
    std::lock_guard lock(owner_.mutex_);
    const Values& values = owner_.keys_.at(path_);
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }

  bool set(std::string_view name, std::string_view value) override {
    std::lock_guard lock(owner_.mutex_);
    owner_.keys_[path_].insert_or_assign(std::string(name), std::string(value));
    return true;
  }

 private:
  MemoryRegistry& owner_;
  std::string path_;
};

std::unique_ptr<RegistryKey> MemoryRegistry::open(std::string_view path) {
  std::lock_guard lock(mutex_);
  if (keys_.find(path) == keys_.end()) return nullptr;
  return std::make_unique<Key>(*this, std::string(path));
}

std::unique_ptr<RegistryKey> MemoryRegistry::create(std::string_view path) {
  std::lock_guard lock(mutex_);
  // Parents exist once a child does, as in the system registry.
  for (size_t cut = path.find('\\'); cut != std::string_view::npos; cut = path.find('\\', cut + 1))
    keys_.try_emplace(std::string(path.substr(0, cut)));
  keys_.try_emplace(std::string(path));
  return std::make_unique<Key>(*this, std::string(path));
}

}  // namespace brovana
