#include "audio/playback.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "core/text.h"
#include "diag/logger.h"

namespace brovana {
namespace {

class SteadyPaceClock final : public PaceClock {
 public:
  time_point now() override { return std::chrono::steady_clock::now(); }
  void sleepUntil(time_point when) override { std::this_thread::sleep_until(when); }
};

const char* environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

PlaybackSettings PlaybackSettings::fromEnvironment() {
  PlaybackSettings settings;
  if (const char* pace = environment("BROVANA_PACE")) {
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(pace, &end);
    if (errno == 0 && end != pace && *end == '\0' && std::isfinite(value) && value >= 0) {
      settings.pace = value;
    } else {
      Logger::log("BROVANA_PACE=%s is not a pace factor; playing at real time\n", pace);
    }
  }
  if (const char* playback = environment("BROVANA_PLAYBACK")) {
    std::string value = playback;
    if (value == "0" || equalsIgnoreCase(value, "off") || equalsIgnoreCase(value, "no"))
      settings.soundCard = false;
  }
  if (const char* device = environment("BROVANA_AUDIO_DEVICE")) settings.device = device;
  return settings;
}

PaceClock& PaceClock::steady() {
  static SteadyPaceClock clock;
  return clock;
}

PacedOutput::PacedOutput(double pace, PaceClock& clock) : clock_(clock), pace_(pace) {}

int PacedOutput::open() {
  started_ = false;
  return kDecoderOk;
}

void PacedOutput::play(std::span<const int16_t> samples, PcmFormat format) {
  if (pace_ <= 0 || !format.valid()) return;
  PaceClock::time_point now = clock_.now();
  auto due = [&] {
    double seconds = static_cast<double>(frames_) / (format_.sampleRate * pace_);
    return start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(seconds));
  };
  if (!started_) {
    start_ = now;
    frames_ = 0;
    started_ = true;
  } else if (format != format_) {
    // The blocks already taken keep their time; the new format's count starts after them.
    PaceClock::time_point end = due();
    start_ = end > now ? end : now;
    frames_ = 0;
  } else if (now > due() + kSlack) {
    start_ = now;
    frames_ = 0;
  }
  format_ = format;
  PaceClock::time_point when = due();
  if (when > now) clock_.sleepUntil(when);
  frames_ += static_cast<long long>(samples.size()) / format.channels;
}

void PacedOutput::close() {
  started_ = false;
}

OpenedOutput openPlayback(DecoderLibrary& library, const PlaybackSettings& settings) {
  OpenedOutput result;
  if (settings.soundCard && settings.pace == 1.0) {
    std::unique_ptr<AudioOutput> device = library.newDeviceOutput(settings.device);
    int status = device ? device->open() : kOutputFailed;
    if (status == kDecoderOk) {
      result.output = std::move(device);
      return result;
    }
    if (!settings.device.empty()) {
      result.status = status;
      return result;
    }
    Logger::log("No sound output device (error %d); the playlist is paced by the clock\n", status);
  }
  result.output = std::make_unique<PacedOutput>(settings.pace);
  result.output->open();
  return result;
}

}  // namespace brovana
