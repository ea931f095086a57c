#include "monitor/visual.h"

#include <algorithm>
#include <cstddef>

namespace brovana {

Visual::Visual(VisualView* view, std::chrono::milliseconds interval)
    : interval_(interval), view_(view), thread_([this] { drawingThread(); }) {}

Visual::~Visual() {
  prepareToClose();
}

void Visual::prepareToClose() {
  {
    std::lock_guard lock(stopMutex_);
    stop_ = true;
  }
  stopWake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Visual::addData(const uint8_t* block, int length, int channels, int bytesPerSample) {
  std::lock_guard lock(feedMutex_);
  channels_ = channels;
  bytesPerSample_ = bytesPerSample;
  if (block == nullptr || length <= 0) {
    held_ = Held::Ended;
  } else if (length <= kInPlaceBytes) {
    block_.assign(block, block + length);
    held_ = Held::Block;
  } else {
    // The queue drops what it holds when a block would overflow it, as the pipeline's rings do.
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(queueRead_));
    queueRead_ = 0;
    if (queue_.size() + static_cast<size_t>(length) > kQueueBytes) queue_.clear();
    if (length <= kQueueBytes) queue_.insert(queue_.end(), block, block + length);
    held_ = Held::Queue;
  }
}

bool Visual::displayOn(int display) const {
  return display >= kDisplaySpectrum && display <= kDisplayNeedles && on_[display].load();
}

void Visual::setDisplay(int display, bool on) {
  if (display >= kDisplaySpectrum && display <= kDisplayNeedles) on_[display] = on;
}

void Visual::setArea(int width, int height) {
  std::lock_guard lock(feedMutex_);
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
}

void Visual::setBackground(uint32_t colour) {
  std::lock_guard lock(feedMutex_);
  background_ = colour;
}

void Visual::drawingThread() {
  std::unique_lock lock(stopMutex_);
  while (!stopWake_.wait_for(lock, interval_, [this] { return stop_; })) {
    lock.unlock();
    drawFrame();
    lock.lock();
  }
}

bool Visual::takeFrame(Frame& frame) {
  std::lock_guard lock(feedMutex_);
  if (held_ == Held::Nothing) return false;
  size_t count = 0;
  const uint8_t* from = nullptr;
  if (held_ == Held::Block) {
    count = block_.size();
    from = block_.data();
  } else if (held_ == Held::Queue) {
    count = std::min(queue_.size() - queueRead_, static_cast<size_t>(kInPlaceBytes));
    if (count < kQueueTrigger) count = 0;
    from = queue_.data() + queueRead_;
    queueRead_ += count;
  }
  samples_.assign(from, from + count);
  frame = {{samples_, channels_, bytesPerSample_, held_ == Held::Ended}, width_, height_, background_};
  return true;
}

void Visual::drawFrame() {
  Frame frame;
  // Nothing is drawn before the first block: until then the area shows what lies behind it.
  if (!takeFrame(frame)) return;
  if (canvas_.width() != frame.width || canvas_.height() != frame.height)
    canvas_ = Canvas(frame.width, frame.height);
  canvas_.fill(frame.background);
  DisplaySwitches on{displayOn(kDisplaySpectrum), displayOn(kDisplayLevelLine), displayOn(kDisplayNeedles),
                     displayOn(kDisplayScope)};
  scene_.draw(canvas_, frame.block, on);
  if (view_) view_->showFrame(canvas_);
}

}  // namespace brovana
