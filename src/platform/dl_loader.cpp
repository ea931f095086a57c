#include "platform/dl_loader.h"

#include <dlfcn.h>

namespace brovana {
namespace {

class DlLibrary final : public DspLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  ~DlLibrary() override { dlclose(handle_); }
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;

  void* symbol(const char* name) override { return dlsym(handle_, name); }
  void* handle() override { return handle_; }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<DspLibrary> DlLoader::load(const std::string& path, std::string& error) {
  // A path without a slash would send dlopen searching the library path instead of the folder.
  std::string where = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    error = reason ? reason : "cannot be loaded";
    return nullptr;
  }
  return std::make_unique<DlLibrary>(handle);
}

}  // namespace brovana
