#pragma once
// A shared library that the program does not link but opens on the first call of one of its
// functions, so that a run that never calls it maps none of it (nor what it pulls in). A file of
// forwarders defines the library's functions with their own signatures; each forwards to the
// library's function through BROVANA_FORWARD.

namespace brovana {

class OnDemandLibrary {
 public:
  // `soname`: the library's file name with the major version its header goes with.
  constexpr explicit OnDemandLibrary(const char* soname) : soname_(soname) {}

  // True once the library is open; it is opened on the first ask, and a failure is logged once.
  bool loaded();
  // The library's own function `name` (dlsym on the library's handle never finds the program's
  // forwarders, even where the program exports them); null when the library is missing.
  void* symbol(const char* name);

 private:
  const char* soname_;
  void* handle_ = nullptr;
  bool tried_ = false;
};

}  // namespace brovana

// In a forwarder: the library's function of the forwarder's name and type, looked up on the first
// call; followed by the call's arguments.
#define BROVANA_FORWARD(library, name)                                                     \
  static auto* const forward = reinterpret_cast<decltype(&::name)>(library.symbol(#name)); \
  return forward
