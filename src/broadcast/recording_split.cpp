#include "broadcast/recording_split.h"

#include <filesystem>
#include <optional>

namespace brovana {
namespace {

struct Frame {
  size_t bytes;
  double seconds;
};

// The layer III frame whose header is at `at`; none when there is none.
std::optional<Frame> frameAt(const uint8_t* at, size_t left) {
  static constexpr int kBitrates[2][15] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
                                           {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  static constexpr int kRates[3] = {44100, 48000, 32000};
  if (left < 4 || at[0] != 0xFF || (at[1] & 0xE0) != 0xE0) return std::nullopt;
  int version = (at[1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
  int bitrateIndex = at[2] >> 4, rateIndex = (at[2] >> 2) & 3;
  if (version == 1 || ((at[1] >> 1) & 3) != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
    return std::nullopt;
  bool mpeg1 = version == 3;
  int rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  int samples = mpeg1 ? 1152 : 576;
  size_t bytes = static_cast<size_t>(samples / 8 * kBitrates[mpeg1 ? 0 : 1][bitrateIndex] * 1000 / rate +
                                     ((at[2] >> 1) & 1));
  return Frame{bytes, static_cast<double>(samples) / rate};
}

}  // namespace

size_t Mp3Splitter::cutIn(const std::vector<uint8_t>& block) {
  size_t cut = std::string::npos;
  for (size_t at = 0; at < block.size();) {
    std::optional<Frame> frame = frameAt(block.data() + at, block.size() - at);
    if (!frame) break;
    if (seconds_ >= partSeconds_ && cut == std::string::npos) {
      cut = at;
      seconds_ -= partSeconds_;  // what the part overshot by starts the next, so parts do not drift
    }
    seconds_ += frame->seconds;
    at += frame->bytes;
  }
  return cut;
}

std::string partName(const std::string& path, std::time_t start) {
  std::tm local{};
  localtime_r(&start, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", &local);
  std::filesystem::path named(path);
  return (named.parent_path() / (named.stem().string() + stamp + named.extension().string())).string();
}

}  // namespace brovana
