#pragma once
// The playlist source of the broadcast. On a worker thread of its own the PlaylistEngine walks the
// Playlist track by track: it opens the conversion stage for the track's PCM format, announces
// the title to the service, decodes the file block by block (playing each block on the sound
// card, which holds the broadcast to real time) and hands every block to the conversion stage,
// which encodes it at the stream bit rate and sends it to the server. It keeps the log up to
// date and tells the rest of the studio what plays through its EngineReports. After the last track it starts
// over (continuous loop, shuffled first in random mode) or ends while the server link stays up.
//
// Threads: start(), stopPlaying(), setCurrentIndex(), the setters and the queries come from the
// user-interface thread; the worker runs broadcast() and everything it calls. stopPlaying() may
// also come from the worker itself (through the supervisor, after the whole list failed).
// Two in-process timed locks stand where named mutexes were: "BroadcastLoopMutex", owned by the
// worker for a whole list run, and "ReadAndBroadcastMutex", owned for one track's decode loop;
// the other side sets a stop or abort flag and waits for them with a time limit.
//
// The decoder and its sound output live from the first track until a stop. They are only ever
// used under decoderMutex_, which the worker holds for the whole track routine; a stop that
// cannot get it in time leaves the closing to the worker, at the end of its track.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/loudness.h"
#include "audio/mp3_decoder.h"
#include "audio/playback.h"
#include "audio/resampler.h"
#include "audio/track_mixer.h"
#include "core/owned_mutex.h"
#include "playlist/playlist_item.h"

namespace brovana {

class ConversionStage;
enum class StreamOpen;
class EngineReports;
class MP3Info;
class Playlist;
class Prompts;
class VisualFeed;

// Texts the engine shows.
inline constexpr const char* kNoCodecText =
    "This machine has no MP3 Codec support! \"l3codeca.acm\" should have been installed by Brovana into the "
    "system directory.";
inline constexpr const char* kPlaylistFailedText =
    "Your playlist has failed. Check live.log for more details";
inline constexpr const char* kPlaylistMessedUpText = "Encoder::broadcast - playlist is messed up";
inline constexpr const char* kEndOfProgramText = "end of program";

// Priority classes of the "Priority" menu.
inline constexpr int kPriorityClassNormal = 32;
inline constexpr int kPriorityClassHigh = 128;
inline constexpr int kPriorityClassRealtime = 256;

// The waits of the stopping side; tests shorten them.
struct EngineTimings {
  std::chrono::milliseconds loopWait{5000};   // for "BroadcastLoopMutex"
  std::chrono::milliseconds trackWait{6000};  // for "ReadAndBroadcastMutex"
  int runningWaitSeconds = 21;                // for an earlier loop that is being aborted
};

class PlaylistEngine {
 public:
  PlaylistEngine(ConversionStage& conversion, DecoderLibrary& decoders, Prompts& prompts,
                 EngineTimings timings = {});
  // Stops the worker and joins it: a playing track ends at its next block.
  ~PlaylistEngine();
  PlaylistEngine(const PlaylistEngine&) = delete;
  PlaylistEngine& operator=(const PlaylistEngine&) = delete;

  // Wiring; each may be set to none. The objects must outlive the engine's use of them.
  void setReports(EngineReports* reports);
  void setVisual(VisualFeed* visual);
  // How blocks are played; read when the decoder is next opened. At first what the environment
  // says (BROVANA_PACE, BROVANA_PLAYBACK, BROVANA_AUDIO_DEVICE).
  void setPlayback(const PlaybackSettings& settings);
  // "-nostats": no counter, time and gauge reports while a track plays.
  void setNoStats(bool on);
  // Where the tracks' loudness is measured (none: nowhere), the level they are played at (read
  // at the start of each track) and the crossfade between them, 0 to 10 s (read at a list's start).
  void setLoudness(LoudnessLibrary* library, const LoudnessSettings& settings, double crossfadeSeconds = 0);

  // Starts the worker on the list and returns at once. The playlist must outlive the run.
  void start(Playlist& playlist, int outputBitrate, int startIndex);
  // The list loop (worker thread).
  bool broadcast(Playlist& playlist, int outputBitrate, int startIndex);
  // Decodes and sends one track (worker thread).
  bool readAndBroadcastData(const PlaylistItemRef& item);
  void stopPlaying(bool final);
  bool abortThread();
  bool checkBroadcastMutex();

  bool isPlaying() const { return playing_.load(); }
  // Inside the list loop.
  bool isRunning() const { return running_.load(); }
  PlaylistItemRef currentItem() const;
  PlaylistItemRef nextItem() const;
  int currentIndex() const;
  // Jumps to a track: the one playing ends and the chosen one follows.
  void setCurrentIndex(int index);

  void setContinuousLoop(bool on) { continuous_.store(on); }
  bool continuousLoop() const { return continuous_.load(); }
  void setRandom(bool on) { random_.store(on); }
  bool random() const { return random_.load(); }

  // 32 normal, 128 high, 256 realtime; other values leave the priority. Applied to a running
  // worker at once; false when that was refused.
  bool setPriorityClass(int priorityClass);
  // 0 normal, 1 above normal, 2 highest.
  bool setPriority(int priority);
  int priority() const { return priority_.load(); }

  // Tracks played so far in this run; numbers the "Now playing" lines.
  int trackNumber() const { return trackNumber_.load(); }

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  // One list run, owned by the thread that runs it: its number (see startedRun_), the list,
  // and the figures of the pass through it.
  struct ListRun {
    int number;
    Playlist* playlist;  // none for a track played on its own (readAndBroadcastData)
    int outputBitrate;
    int count = 0;     // items in the list, as last counted
    int failures = 0;  // tracks that failed in a row
    long long passTimeMs = 0;
    long long lastStatsMs = 0;  // the last once-a-second update
    int measuredShown = 0;      // the loudness measurements the list shows
    bool nextFollows = false;   // a track follows the one playing: its end is laid under that one
  };
  // Where one track's blocks go: the sound output and, at the stream's rate, the stage.
  struct TrackOutput {
    const PlaylistItem& item;
    PcmFormat pcm;
    int call;
    int rate;  // the stage's
    std::unique_ptr<Resampler> resampler{};
    bool announced = false;
  };
  // One track's figures while it plays.
  struct TrackClock {
    long long startMs;
    long long outputBytes = 0;  // MP3 bytes the stage produced for it so far
  };

  // The list loop, in its steps.
  bool runBroadcast(ListRun& run, int startIndex);
  bool mayStart(const ListRun& run);
  void beginRun(ListRun& run, int startIndex);
  // One pass through the list; true when another pass follows.
  bool playPass(ListRun& run);
  void playEntry(ListRun& run, int index, const PlaylistItemRef& item, const PlaylistItemRef& next);
  void announce(const PlaylistItem& item, const MP3Info& facts, const PlaylistItemRef& next);
  void markUnplayable(ListRun& run, PlaylistItem& item, const std::string& reason);
  void failList(const ListRun& run);
  // To the next track; false at the end of the list.
  bool advance(ListRun& run, int index, const PlaylistItemRef& item);
  bool startOver(const ListRun& run);
  void endRun(const ListRun& run);

  // One track, in its steps (decoderMutex_ held from playTrack on).
  bool playTrack(ListRun& run, const PlaylistItemRef& item);
  StreamOpen openStage(int outputBitrate, const std::string& path, int sampleRate, int channels);
  std::optional<PcmFormat> openTrack(int outputBitrate, const PlaylistItem& item, const MP3Info& facts);
  // False when the track's PCM cannot be brought to the stream's rate, or when it ended before a
  // block of it was played.
  bool streamTrack(ListRun& run, const PlaylistItem& item, const MP3Info& facts, PcmFormat pcm, int call);
  void playBlock(TrackOutput& out, std::span<const int16_t> block);
  // Out to the stage (and, crossfading, to the sound card): the track's samples at the stream's rate.
  void sendOut(const TrackOutput& out, std::span<const int16_t> samples);
  void fadeOutOnJump(TrackOutput& out, GainRamp& gain);
  bool jumped() const;
  // The factor the track's samples are played with (1 without normalisation), and whether it is
  // final (from a measurement); queues the list's tracks for measuring.
  float playingGain(const ListRun& run, const PlaylistItem& item, bool& final, bool first);
  // The once-a-second and 5-second reports; false when an abort ends the track.
  bool reportProgress(ListRun& run, const MP3Info& facts, TrackClock& clock);

  // A stop was asked for this run, or a newer run has taken over.
  bool stopped(int run) const { return run <= stopRun_.load() || activeRun_.load() != run; }
  bool openDecoder();
  void closeDecoder();  // decoderMutex_ held
  bool applyPriority();
  void refreshTitleIfDue();
  void showTimes(const ListRun& run, const MP3Info& facts, long long trackMs);

  // Stream calls into the conversion stage, one thread at a time; false when the lock could not
  // be had in time (the stage may be showing a box on the worker's behalf).
  bool closeStage(bool final, std::chrono::milliseconds wait);
  void reapWorkers(bool all);

  ConversionStage& conversion_;
  DecoderLibrary& decoders_;
  Prompts& prompts_;
  const EngineTimings timings_;

  // Wiring, set from the user-interface thread, read by the worker.
  std::atomic<EngineReports*> reports_{nullptr};
  std::atomic<VisualFeed*> visual_{nullptr};
  std::atomic<bool> noStats_{false};

  // The run. Each list run has a number: start() hands out the next one; the run that gets
  // through the checks of broadcast() becomes the active one. A stop covers every run started
  // before it, so a start that follows a stop is not undone by it, and a run that has been
  // taken over leaves at its next block.
  std::atomic<int> startedRun_{0};
  std::atomic<int> activeRun_{0};
  std::atomic<int> stopRun_{0};
  std::atomic<int> outputBitrate_{0};
  std::atomic<Playlist*> playlist_{nullptr};  // the list of the active run
  mutable std::mutex indexMutex_;             // current index, the jump mark and the current and next items
  int currentIndex_ = -1;
  bool indexJumped_ = false;
  PlaylistItemRef currentItem_;
  PlaylistItemRef nextItem_;

  std::atomic<bool> abort_{false};
  std::atomic<bool> final_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> playing_{false};
  std::atomic<bool> inTrack_{false};
  std::atomic<bool> continuous_{true};
  std::atomic<bool> random_{false};
  std::atomic<bool> closing_{false};  // the destructor has begun
  std::atomic<int> priority_{0};
  std::atomic<long> workerThreadId_{0};
  std::atomic<int> trackNumber_{1};
  std::atomic<int> callCount_{0};
  std::atomic<std::time_t> lastTitleRefresh_{0};

  OwnedMutex broadcastLoopMutex_;
  OwnedMutex readAndBroadcastMutex_;
  std::mutex runningMutex_;
  std::condition_variable runningChanged_;

  TimedMutex stageMutex_;
  TimedMutex decoderMutex_;
  std::unique_ptr<Mp3Decoder> decoder_;
  std::unique_ptr<AudioOutput> output_;
  std::vector<int16_t> streamBlock_;  // a block at the stream's rate; under decoderMutex_
  std::vector<int16_t> gainBlock_;    // a block at the track's gain; under decoderMutex_
  std::vector<int16_t> trimBlock_;    // a block without the track's silences; under decoderMutex_
  std::atomic<LoudnessLibrary*> loudness_{nullptr};
  mutable std::mutex loudnessMutex_;
  LoudnessSettings loudnessSettings_;     // under loudnessMutex_
  double crossfadeSeconds_ = 0;           // under loudnessMutex_
  TrackMixer mixer_;                      // the worker's, under decoderMutex_ while a track plays
  std::function<void()> announceOnLead_;  // the worker's
  // A stop that could not wait for the track: the worker closes decoder and stream after it.
  std::atomic<bool> closeAfterTrack_{false};
  mutable std::mutex playbackMutex_;
  PlaybackSettings playback_;

  std::mutex workersMutex_;
  std::vector<Worker> workers_;
};

}  // namespace brovana
