// library_bench: what a music library of every format costs the studio, on a 120 s stereo tone
// made by ffmpeg at test time, in processor seconds of one core:
//   loudness analysis (decoding and libebur128 with true peak) as a multiple of real time;
//   decoding for the air, FLAC against MP3 (mpg123), as a share of one core.

#include <sys/resource.h>

#include <cstdio>

#include "platform/ebur128_meter.h"
#include "platform/track_decoder.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

constexpr double kToneSeconds = 120;

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Processor seconds of decoding the whole file; negative when it did not decode.
double decodeCost(const std::string& path) {
  TrackDecoder decoder;
  const double before = cpuSeconds();
  if (decoder.createInput(path) != kDecoderOk || decoder.openInput() != kDecoderOk) return -1;
  DecodeStatus status = DecodeStatus::Block;
  while (status == DecodeStatus::Block || status == DecodeStatus::Timeout ||
         status == DecodeStatus::InvalidFrame)
    status = decoder.decode();
  decoder.closeInput();
  return cpuSeconds() - before;
}

int run() {
  test::TempFolder folder;
  const std::string flac = folder.file("tone.flac"), mp3 = folder.file("tone.mp3");
  for (const std::string& path : {flac, mp3})
    if (!test::makeLibraryTone(path, {.frequency = 997, .seconds = kToneSeconds, .volume = 0.3})) return 1;

  EbuR128Meter meter;
  std::atomic<bool> stop{false};
  const double before = cpuSeconds();
  std::optional<Loudness> loudness = meter.measure(flac, stop);
  const double analysis = cpuSeconds() - before;
  if (!loudness) return 1;
  std::printf("loudness analysis: %.1f LUFS, %.1f dBTP in %.3f s: %.0f x real time\n",
              loudness->integratedLufs, loudness->truePeakDbtp, analysis, kToneSeconds / analysis);

  const double flacCost = decodeCost(flac), mp3Cost = decodeCost(mp3);
  if (flacCost < 0 || mp3Cost < 0) return 1;
  std::printf("decoding: FLAC %.3f %% of a core, MP3 %.3f %%, FLAC costs %+.3f %% more\n",
              100 * flacCost / kToneSeconds, 100 * mp3Cost / kToneSeconds,
              100 * (flacCost - mp3Cost) / kToneSeconds);
  return 0;
}

}  // namespace
}  // namespace brovana

int main() {
  return brovana::run();
}
