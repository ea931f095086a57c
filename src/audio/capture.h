#pragma once
// The capture: records PCM from the sound card's recording input (line-in, CD, the
// microphone or the card's own mix, as the mixer chose it) in one of two modes:
//
//   direct      the recording is the broadcast: startInput opens the conversion stage for
//               line-in, and every buffer goes to convertAndSend
//   voiceover   beside a playing playlist: the microphone is recorded in the playing track's
//               PCM format and every buffer goes into the side channel, which the conversion
//               stage mixes into the music
//
//   meter       off the air: the device records for the visual feed alone, so that the member
//               sees the input's level before going on the air; nothing reaches the stage and
//               nothing is shown to the member
//
// Threads: startInput, startMeter, closeLineIn, setVoiceover and trackChanged come from the studio's side
// (trackChanged from the playlist engine's worker) and are serialised by one lock. While open,
// one capture thread reads the device and hands each buffer on; closing stops the device and
// joins that thread before the device is closed. The capture thread never takes the lock.
//
// A device that fails while open (unplugged, taken away) is reported lost, and the capture thread
// opens it again every few seconds until it records again or the capture is closed.
//
// A voiceover lasts from setVoiceover(true) until its capture is closed or fails to start; then
// the side channel is detached and the next start is a direct one again.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "audio/capture_device.h"
#include "audio/conversion_stage.h"
#include "audio/engine_reports.h"
#include "audio/resampler.h"
#include "audio/side_channel.h"

namespace brovana {

class Prompts;

inline constexpr const char* kVoiceoverWithoutBroadcastText =
    "You cannot do \"voiceovers\" without broadcasting!";
inline constexpr const char* kBadInputFormatText =
    "Unable to access your soundcard. The desired input format is not supported by your soundcard. err=%d";
inline constexpr const char* kSoundcardBusyText =
    "Unable to access your soundcard. Is it being used by another piece some other software?";
inline constexpr const char* kStartReadingFailedText = "unable to start reading Wave data";

class Capture {
 public:
  static constexpr int kDirectBufferBytes = 25'000;
  static constexpr int kVoiceoverBufferBytes = 32'768;
  static constexpr int kSideChannelBytes = 1'000'000;
  // About 50 ms: the needles follow the input closely.
  static constexpr int kMeterBufferBytes = 4'096;

  // The stage and the prompts must outlive the capture. `resamplers` convert from the rate of a
  // device that cannot record the one asked for.
  Capture(ConversionStage& stage, std::unique_ptr<CaptureDevice> device, Prompts& prompts,
          ResamplerFactory resamplers, std::chrono::milliseconds retryEvery = std::chrono::seconds(3));
  // Closes the capture and joins its thread.
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  // Where the reports and the visualisation go; none is allowed. They must outlive their use.
  // A running capture reports on its own thread, as the playlist engine does: the data counter
  // and the times since the start (direct mode), the on-air title and the listener figures when
  // due (direct mode), and the quality figures for the gauge.
  void setReports(EngineReports* reports);
  void setVisual(VisualFeed* visual);

  // On: the side channel is made (once), primed with silence and attached to the stage. Off:
  // it is detached. A change while open closes the capture first.
  void setVoiceover(bool on);
  bool voiceover() const;

  // Opens the device and starts capture; `outputBitrate` is the stream's (the line-in PCM
  // format follows from it). Failures are shown to the member and give false.
  bool startInput(int outputBitrate);
  // Stops capture and closes the device; this also ends a voiceover. Nothing when closed.
  void closeLineIn();
  // On the playlist engine's worker (the side channel's reader), when a new track starts: a
  // voiceover whose track format changed is recorded again in the new format.
  void trackChanged();
  // Recording for the broadcast or a voiceover; the meter does not count.
  bool isOpen() const { return open_.load() && !metering_.load(); }
  // Opens the device in meter mode; false, quietly, when it did not open or the capture is open
  // for the broadcast, which the meter never replaces. startInput and setVoiceover end the meter
  // first; closeLineIn ends it.
  bool startMeter();
  bool metering() const { return open_.load() && metering_.load(); }
  // Direct mode: another source takes the air (the dead-air guard's fallback playlist). The
  // recording goes on, but to `monitor` instead of the stage, whose stream is flushed so that it
  // ends on a whole frame. The capture thread hands a block to one or the other, never both.
  // False, changing nothing, when the capture is not recording for the broadcast.
  bool holdOutput(PcmTap* monitor);
  // The recording is the broadcast again, on a new line-in stream; false when it did not open.
  // The source that had the air must have stopped feeding the stage.
  bool resumeOutput();

  // PCM handed on since construction, in bytes.
  uint64_t bytesCaptured() const { return bytesCaptured_.load(); }
  std::optional<PcmFormat> captureFormat() const;
  // Bytes per buffer of the current or last capture.
  int bufferLength() const;
  SideChannel* sideChannel() const { return side_.get(); }

 private:
  using Clock = std::chrono::steady_clock;

  enum class DeviceStart { Ok, BadFormat, Busy, NotReading };

  bool startLocked();  // lock_ held, as for every ...Locked
  // Quiet: the caller decides whether the member hears of a failure.
  DeviceStart openDeviceLocked(const PcmFormat& format);
  void showFailure(DeviceStart failure);
  void closeLocked(bool endVoiceover);
  void endVoiceoverLocked();
  void captureThread();
  // On the capture thread, after the device failed: until it records again (true) or the capture
  // closes (false).
  bool recoverDevice();
  // False when the block did not go out as the broadcast (a voiceover, or held).
  bool streamMP3data(const uint8_t* bytes, int length);
  void reportQuality();

  ConversionStage& stage_;
  std::unique_ptr<CaptureDevice> device_;
  Prompts& prompts_;
  ResamplerFactory resamplers_;
  std::atomic<EngineReports*> reports_{nullptr};
  std::atomic<VisualFeed*> visual_{nullptr};

  mutable std::mutex lock_;
  std::optional<PcmFormat> captureFormat_;  // lock_
  std::unique_ptr<SideChannel> side_;       // made under lock_, kept for life

  // Fixed while the capture thread runs (set before it starts, changed after it is joined).
  bool voiceover_ = false;
  // Set before open_ and cleared after it, so that isOpen never counts the meter.
  std::atomic<bool> metering_{false};
  int outputBitrate_ = 0;
  int bufferLength_ = 0;
  int channels_ = 0;
  int deviceFrames_ = 0;  // frames per read, at the device's rate
  std::vector<int16_t> deviceBuffer_;
  std::unique_ptr<Resampler> resampler_;  // when the device records at another rate
  std::vector<int16_t> converted_;        // capture thread
  Clock::time_point startTime_;

  const std::chrono::milliseconds retryEvery_;
  int deviceRate_ = 0;  // the rate the device records at, for a reopen
  std::mutex retryMutex_;
  std::condition_variable retryWake_;  // a close ends a wait between two tries
  // Taken by the capture thread for each block it hands on, so that a hold never comes between
  // the look at monitor_ and the hand-over.
  std::mutex feedMutex_;
  PcmTap* monitor_ = nullptr;  // feedMutex_
  PcmFormat monitorFormat_;    // feedMutex_
  std::atomic<bool> quit_{false};
  std::atomic<bool> open_{false};
  std::atomic<uint64_t> bytesCaptured_{0};
  Clock::time_point lastQuality_;  // capture thread
  std::thread thread_;
};

}  // namespace brovana
