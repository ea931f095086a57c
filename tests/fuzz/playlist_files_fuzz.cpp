// A playlist file reader (BROVANA_READER: readM3U, readPLS or readMirobeam) on any text: every
// entry it yields is one path, with forward slashes only and no line end in it.

#include <cstdint>
#include <string_view>

#include "playlist/playlist_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string& path : brovana::BROVANA_READER(text, "/lists/mix"))
    if (path.find_first_of("\n\\") != std::string::npos) __builtin_trap();
  return 0;
}
