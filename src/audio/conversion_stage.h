#pragma once
// The conversion stage: turns the PCM that a source produces into the MP3 stream that goes to
// the broadcast server.
//
//   source thread:      convertAndSend(block) -> DSP plug-in (on a scratch copy with room for
//                       twice the block, so it may change the length) -> ring copy -> voiceover
//                       mix, visualisation and PCM tap (on the ring copy) -> position published
//   conversion thread:  ring (50,000 bytes, or anything after flush) -> encoder -> sendStream
//
// Use, for each stream (a playlist track, or a line-in session):
//   openStream(lineSpeed, &track)   opens an encoder for the track's PCM format (for line-in:
//                                openStream(lineSpeed) and the line speed's own PCM format);
//                                see StreamOpen
//   convertAndSend(...)          every PCM block, in order, in the format openStream was given
//   flush()                      at the end of the track: whatever PCM is left, and the encoder's
//                                last partial frame, go out without waiting for more
// and the next openStream closes the previous stream itself. PCM the conversion thread has not
// taken by then goes out as silence in the new stream (the formats differ), so a source
// that wants every sample of a track on air waits for !flushing() before the next openStream.
// The encoder hands out whole frames only, so a stream closed between two tracks never leaves
// part of a frame on the air.
//
// Threading contract:
// - openStream, convertAndSend, flush and closeStream(false) come from the source's side: one thread
//   at a time (the playlist worker, or the capture start and then its thread), never two
//   sources at once. That thread is the PCM ring's only writer.
// - The conversion thread runs from startConvertThread() until shutDown()/closeStream(true) or
//   destruction; it is the ring's only reader and the only caller of StreamSink::sendStream.
// - Setters and queries may come from any thread. Objects handed to the setters are not owned;
//   they must outlive the stage or be detached (set to null) first, and detaching waits for no
//   block in progress: detach only between blocks or keep the object alive.
// - The stage joins its thread in its destructor, which therefore waits for a send in
//   progress (shutDown alone waits no longer than 20 ms).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_encoder.h"
#include "audio/byte_ring.h"
#include "audio/conversion_ports.h"
#include "audio/conversion_stats.h"
#include "audio/gain_ramp.h"
#include "audio/side_channel.h"

namespace brovana {

class Prompts;
class ProgramExit;

// The facts of a playlist track that the stage needs: its path (for messages) and its PCM
// format (from the MP3 header: 1 channel for single-channel mode, else 2).
struct TrackFormat {
  std::string path;
  int sampleRate = 0;
  int channels = 0;
};

enum class StreamOpen {
  Opened,
  Refused,               // the encoder cannot take this PCM: the track is skipped
  NoFormats,             // the encoder library makes no MP3 at all
  NoFormatForLineSpeed,  // an invalid line speed, or its MP3 format is not made
};

class ConversionStage {
 public:
  static constexpr int kRingBytes = 1'000'000;
  // The PCM taken per conversion: exactly this much, unless flushing (then anything up to it).
  // Large pieces keep the encoder's calls few.
  static constexpr int kChunkBytes = 50'000;
  static constexpr int kScratchBytes = 10'000;  // first size of the voiceover mix buffer

  // Checks the encoder library; when it is not usable, the user is told and the program is
  // ended through `exit`.
  ConversionStage(StreamSink& connection, ConversionStatus& status, EncoderLibrary& encoders,
                  Prompts& prompts, ProgramExit& exit);
  ~ConversionStage();
  ConversionStage(const ConversionStage&) = delete;
  ConversionStage& operator=(const ConversionStage&) = delete;

  void startConvertThread();

  void setVisual(VisualFeed* visual);
  void setSideChannel(SideChannel* side);
  void setDspHost(SampleProcessor* dsp);
  void setPcmTap(PcmTap* tap);
  void setMusicGain(float gain);  // applied to the music while voiceover PCM is mixed in
  // On: the stage takes its PCM at kFullBandRate whatever the stream's rate (the encoder
  // resamples), so that the tap gets the full band before the member's stream halves it. Sources
  // follow at their next opening.
  static constexpr int kFullBandRate = 44100;
  void setFullBand(bool on);
  bool fullBand() const;

  // See the top of this file. `track` null: line-in.
  StreamOpen openStream(int lineSpeed, const TrackFormat* track = nullptr);
  // False when the block was dropped (ring overflow, or longer than the ring).
  bool convertAndSend(const uint8_t* block, int length, int blockTag, const char* sourceName);
  // The end of a track: the conversion thread takes whatever is left, however little, and
  // tells the encoder it is the end. Served (flushing() false) once the ring is empty.
  void flush();
  // Waits, up to `limit` or until `abort` is set, for the flushes asked for so far to be served;
  // true when they were.
  bool waitFlushed(std::chrono::milliseconds limit, const std::atomic<bool>& abort) const;
  // Closes the encoder; with stopThread also stops the conversion thread.
  void closeStream(bool stopThread);
  // Asks the conversion thread to end and waits for it up to 20 ms.
  void shutDown();

  std::optional<PcmFormat> getSourceFormat() const;
  std::optional<EncodedFormat> getMp3Format() const;
  SideChannel* getSideChannel() const { return side_.load(std::memory_order_acquire); }
  // MP3 bytes produced since the last call.
  int takeBytesSent() { return bytesProduced_.exchange(0); }
  // See ConversionStats::transmitBitRate.
  int getTransmitBitRate() const { return stats_.transmitBitRate(nowMs()); }
  float getThroughputRatio() const { return stats_.throughputRatio(); }
  // Whether the encoder library makes MP3 at all.
  bool hasFormats() const { return hasMp3_; }
  const ConversionStats& stats() const { return stats_; }

  // PCM in the ring that the conversion thread has not taken yet.
  int pendingBytes() const;
  bool flushing() const { return flushRequests_.load() != flushesServed_.load(); }
  bool threadRunning() const;
  // Times the conversion thread found nothing to convert and went back to waiting.
  int idlePasses() const { return idlePasses_.load(); }

  // The voiceover mix of one block: music + microphone, clamped to ±32767, for bytes ÷ 2 samples
  // of 16-bit PCM.
  static void mixSamples(uint8_t* music, const uint8_t* microphone, int bytes);

 private:
  void convertThread();
  // The conversion thread sleeps in waitForWork() until wakeConverter() or its idle time-out.
  void wakeConverter();
  void waitForWork();
  void mixVoiceover(SideChannel* side, uint8_t* at, int length, int channels);
  void mixSideChannel(SideChannel& side, uint8_t* at, int length);
  // The block through the plug-in, into dspScratch_; the length it has now.
  int runDsp(SampleProcessor& dsp, const uint8_t* block, int length, int channels, int rate);
  // Marks flush requests up to `requests` as served (never goes back).
  void serveFlush(int requests);
  enum class Chunk { None, Failed, Encoded };
  // Conversion thread, encoder lock held: the next chunk through the encoder into sendBuffer_.
  // `flushSeen`: the flush requests counted when the chunk was taken; `drained`: the chunk
  // emptied the ring with a flush pending, so it serves those requests.
  Chunk encodeChunk(int& flushSeen, bool& drained);
  StreamOpen failStream(const std::string& reason, const TrackFormat* track, const PcmFormat& source,
                        const EncodedFormat& mp3);
  static int64_t nowMs();

  StreamSink& connection_;
  ConversionStatus& status_;
  EncoderLibrary& encoders_;
  Prompts& prompts_;

  std::vector<EncodedFormat> offered_;  // fixed at construction
  bool hasMp3_ = false;
  ByteRing ring_{kRingBytes};
  ConversionStats stats_;

  // The encoder: the source side opens and closes it, the conversion thread encodes. Held by the
  // conversion thread from taking a chunk out of the ring until the encoder has answered, so an
  // encoder is never closed under a conversion.
  mutable std::mutex encoderMutex_;
  std::unique_ptr<AudioEncoder> encoder_;
  std::optional<PcmFormat> sourceFormat_;
  std::optional<EncodedFormat> mp3Format_;

  // The source format's shape, for the per-block work without the lock.
  std::atomic<int> sourceChannels_{0};
  std::atomic<int> sourceRate_{0};
  std::atomic<int> sourceBytesPerSec_{0};

  std::atomic<float> musicGain_{0.0f};
  std::atomic<SideChannel*> side_{nullptr};
  std::atomic<VisualFeed*> visual_{nullptr};
  std::atomic<SampleProcessor*> dsp_{nullptr};
  std::atomic<PcmTap*> tap_{nullptr};
  std::atomic<bool> fullBand_{false};
  GainRamp musicFade_{1.0f};                 // source thread: the music's level under the voiceover
  std::vector<int16_t> music_, fadedMusic_;  // source thread
  std::vector<uint8_t> scratch_;             // source thread
  std::vector<uint8_t> dspScratch_;          // source thread

  // flush() counts a request; the conversion thread serves it with the conversion and send
  // that empty the ring, so neither a request that comes while a chunk is on its way nor PCM
  // beyond one chunk is left waiting for the 50,000-byte rule.
  std::atomic<int> flushRequests_{0};
  std::atomic<int> flushesServed_{0};
  std::atomic<int> bytesProduced_{0};
  std::atomic<bool> closing_{false};

  // Stored for the record only.
  std::atomic<int> blockTag_{0};
  char sourceName_[101] = {};  // source thread

  // The conversion thread: `stop` asks it to end; shutDown waits for `threadRunning_` to drop.
  std::atomic<int> stop_{0};
  mutable std::mutex threadMutex_;
  std::condition_variable threadEnded_;
  bool threadRunning_ = false;
  std::thread thread_;
  std::vector<uint8_t> chunk_ = std::vector<uint8_t>(kChunkBytes);  // conversion thread
  std::vector<uint8_t> sendBuffer_;                                 // conversion thread
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  std::atomic<int> idlePasses_{0};
  int wakeRequests_ = 0;      // under wakeMutex_
  int wakesSeen_ = 0;         // under wakeMutex_
  int unsignalledBytes_ = 0;  // source thread: PCM written since the last wake-up
};

}  // namespace brovana
