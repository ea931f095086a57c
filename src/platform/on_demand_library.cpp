#include "platform/on_demand_library.h"

#include <dlfcn.h>

#include <mutex>

#include "diag/logger.h"

namespace brovana {
namespace {

// Forwarders of different threads may ask first at the same time.
std::mutex openMutex;

}  // namespace

bool OnDemandLibrary::loaded() {
  std::lock_guard lock(openMutex);
  if (!tried_) {
    tried_ = true;
    handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) Logger::log("Cannot load %s: %s\n", soname_, dlerror());
  }
  return handle_ != nullptr;
}

void* OnDemandLibrary::symbol(const char* name) {
  return loaded() ? dlsym(handle_, name) : nullptr;
}

}  // namespace brovana
