#pragma once
// How the DSP plug-in host reaches the shared objects that hold plug-ins. The platform layer
// implements it on the system's dynamic loader.

#include <memory>
#include <string>

namespace brovana {

// One loaded library; destroying it unloads the library.
class DspLibrary {
 public:
  virtual ~DspLibrary() = default;
  // The address of an exported symbol; null when the library has none.
  virtual void* symbol(const char* name) = 0;
  // What the plug-in gets as its instance handle.
  virtual void* handle() = 0;
};

class DspLoader {
 public:
  virtual ~DspLoader() = default;
  // Null, with the reason in `error`, when the file cannot be loaded.
  virtual std::unique_ptr<DspLibrary> load(const std::string& path, std::string& error) = 0;
};

}  // namespace brovana
