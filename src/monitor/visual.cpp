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
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Visual::addData(const uint8_t* block, int length, int channels, int bytesPerSample) {
  // Nothing to draw it in: not even a copy is made.
  if (!active()) return;
  bool waking;
  {
    std::lock_guard lock(mutex_);
    waking = !wantedLocked();
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
    if (held_ != Held::Ended) resting_ = false;
    fresh_ = true;
  }
  if (waking) wake_.notify_all();
}

bool Visual::displayOn(int display) const {
  return display >= kDisplaySpectrum && display <= kDisplayNeedles && on_[display].load();
}

void Visual::setDisplay(int display, bool on) {
  if (display >= kDisplaySpectrum && display <= kDisplayNeedles) on_[display] = on;
  wake();
}

bool Visual::active() const {
  return shown_.load() && (on_[kDisplaySpectrum].load() || on_[kDisplayLevelLine].load() ||
                           on_[kDisplayScope].load() || on_[kDisplayNeedles].load());
}

void Visual::setShown(bool shown) {
  shown_ = shown;
  wake();
}

void Visual::setArea(int width, int height, double scale) {
  std::lock_guard lock(mutex_);
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  scale_ = std::max(scale, 1.0);
}

void Visual::setColours(const VisualColours& colours) {
  std::lock_guard lock(mutex_);
  colours_ = colours;
}

void Visual::wake() {
  {
    // Taken so that the change cannot fall between the drawing thread's check and its wait.
    std::lock_guard lock(mutex_);
    if (!active()) held_ = Held::Nothing;  // switched back on, it waits for new sound
  }
  wake_.notify_all();
}

bool Visual::wantedLocked() const {
  if (!active() || resting_) return false;
  switch (held_) {
    case Held::Block:
      return fresh_;
    case Held::Queue:
      return queue_.size() - queueRead_ >= kQueueTrigger;
    case Held::Ended:
      return true;
    case Held::Nothing:
      break;
  }
  return false;
}

// A frame for each block that comes, at most one per interval: a block drawn again would only
// wake both threads for the same picture.
void Visual::drawingThread() {
  std::unique_lock lock(mutex_);
  auto due = std::chrono::steady_clock::now();
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || wantedLocked(); });
    if (wake_.wait_until(lock, due, [this] { return stop_; })) return;
    if (!wantedLocked()) continue;
    due = std::chrono::steady_clock::now() + interval_;
    fresh_ = false;
    Frame frame = takeFrameLocked();
    lock.unlock();
    drawFrame(frame);
    lock.lock();
    if (frame.block.ended && scene_.settled()) resting_ = true;
  }
}

Visual::Frame Visual::takeFrameLocked() {
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
  return {{samples_, channels_, bytesPerSample_, held_ == Held::Ended}, width_, height_, scale_, colours_};
}

void Visual::drawFrame(const Frame& frame) {
  if (canvas_.width() != frame.width || canvas_.height() != frame.height)
    canvas_ = Canvas(frame.width, frame.height);
  canvas_.fill(frame.colours.background);
  scene_.setStyle(frame.colours, frame.scale);
  DisplaySwitches on{displayOn(kDisplaySpectrum), displayOn(kDisplayLevelLine), displayOn(kDisplayNeedles),
                     displayOn(kDisplayScope)};
  scene_.draw(canvas_, frame.block, on);
  if (view_) view_->showFrame(canvas_);
}

}  // namespace brovana
