#pragma once
// The visuals: live pictures of the PCM going on air (spectrum, level line, needle meters,
// scope), each switched on or off by the member. The sources hand in every block as it goes on
// air; a drawing thread of its own draws a frame every 25 ms into a Canvas and hands it to the
// view, which shows it on its own thread.
//
// Nothing is copied, analysed or drawn while no display is on or the area is hidden: the
// drawing thread then sleeps until it is wanted, and so it does once a track or capture has
// ended and the scene has come to rest.
//
// Threads: addData() on the sources' threads; the drawing thread owns the scene and the canvas;
// the rest from any thread. The PCM is copied in under mutex_ and copied out by the drawing
// thread under the same lock, so a producer's buffer is never read after addData returns.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "monitor/canvas.h"
#include "monitor/visual_scene.h"

namespace brovana {

// Where the frames go. showFrame runs on the drawing thread; the view copies what it needs
// before it returns.
class VisualView {
 public:
  virtual ~VisualView() = default;
  virtual void showFrame(const Canvas& frame) = 0;
};

class Visual {
 public:
  static constexpr std::chrono::milliseconds kInterval{25};
  // Blocks up to this size are drawn whole; longer ones queue and are drawn in pieces of it.
  static constexpr int kInPlaceBytes = 10'000;
  static constexpr int kQueueBytes = 1'000'000;
  static constexpr int kQueueTrigger = 1'000;  // a smaller rest of the queue waits for more

  // Starts the drawing thread. The view (none: frames are drawn and dropped) must outlive the
  // drawing thread.
  explicit Visual(VisualView* view, std::chrono::milliseconds interval = kInterval);
  // Stops and joins the drawing thread.
  ~Visual();
  Visual(const Visual&) = delete;
  Visual& operator=(const Visual&) = delete;

  // One block of PCM as it goes on air; an empty block marks the end of a track or capture.
  void addData(const uint8_t* block, int length, int channels, int bytesPerSample);

  // By VisualDisplay number; other numbers are off and ignored.
  bool displayOn(int display) const;
  void setDisplay(int display, bool on);

  // The size of the drawing area in device pixels, and how many of them make one pixel of the
  // user interface (the screen's pixel ratio).
  void setArea(int width, int height, double scale = 1.0);
  void setColours(const VisualColours& colours);
  // Whether the area is on screen.
  void setShown(bool shown);
  // Some display is on and the area is shown.
  bool active() const;

  // Stops the drawing thread and waits for it; nothing is drawn afterwards.
  void prepareToClose();

 private:
  enum class Held { Nothing, Block, Queue, Ended };
  struct Frame {
    VisualBlock block;
    int width = 0;
    int height = 0;
    double scale = 1.0;
    VisualColours colours;
  };

  void drawingThread();
  // A frame is wanted: the visuals are active, and a block came since the last frame, or the
  // queue holds more, or the sound ended and the scene has not come to rest yet.
  bool wantedLocked() const;
  // Copies the PCM of the next frame into samples_, and the area.
  Frame takeFrameLocked();
  void drawFrame(const Frame& frame);
  // Wakes the drawing thread when frames have become wanted.
  void wake();

  const std::chrono::milliseconds interval_;

  // The feed, under mutex_.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool resting_ = false;  // the scene came to rest after the end
  bool fresh_ = false;    // a block came since the last frame
  Held held_ = Held::Nothing;
  std::vector<uint8_t> block_;
  std::vector<uint8_t> queue_;
  size_t queueRead_ = 0;
  int channels_ = 2;
  int bytesPerSample_ = 2;
  // The area, under mutex_ as well (read once per frame).
  int width_ = 0;
  int height_ = 0;
  double scale_ = 1.0;
  VisualColours colours_;

  std::atomic<bool> on_[5] = {false, true, true, false, true};  // by VisualDisplay number
  std::atomic<bool> shown_{true};

  VisualView* const view_;

  // The drawing thread's own.
  VisualScene scene_;
  Canvas canvas_;
  std::vector<uint8_t> samples_;

  std::thread thread_;  // last: started when everything above exists
};

}  // namespace brovana
