// The MP3 header and tag reader on any bytes, from memory and from a file, and the tag writer
// on the same file: it may only ever add or replace the last 128 bytes.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "playlist/mp3_info.h"

namespace {

void use(const brovana::MP3Info& info) {
  std::string all = info.title() + info.title(0) + info.artist() + info.album() + info.formatInfo() +
                    info.displayTitle() + info.fileName() + info.genre() + info.comment();
  if (all.empty() || info.channels() < 1 || info.duration() < 0 || info.audioBytes() < 0) __builtin_trap();
  if (info.valid() && (info.header()[0] != 0xFF || info.version() > 2 || info.layer() > 2)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/brovana-fuzz-mp3-" + std::to_string(getpid());
  const std::string original(reinterpret_cast<const char*>(data), size);
  use(brovana::MP3Info::fromBytes(path, {data, size}));

  std::ofstream(path, std::ios::binary | std::ios::trunc) << original;
  brovana::MP3Info fromFile(path);
  use(fromFile);
  if (fromFile.writeID3v1("artist", std::string(40, 't'), "album")) {
    std::ifstream in(path, std::ios::binary);
    std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t kept = size >= 128 && original.compare(size - 128, 3, "TAG") == 0 ? size - 128 : size;
    if (now.size() != kept + 128 || now.compare(0, kept, original, 0, kept) != 0) __builtin_trap();
    if (!brovana::MP3Info(path).hasID3v1()) __builtin_trap();
  }
  return 0;
}
