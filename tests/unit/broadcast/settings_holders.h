#pragma once
// Holders of the stored settings for tests, and a reset of the program-wide values between tests.

#include <map>
#include <mutex>
#include <optional>

#include "broadcast/program_values.h"
#include "broadcast/settings.h"

namespace brovana::test {

class MemoryVisualModes : public VisualModes {
 public:
  bool displayOn(int display) const override {
    std::lock_guard lock(mutex_);
    auto it = on_.find(display);
    return it != on_.end() && it->second;
  }
  void setDisplay(int display, bool on) override {
    std::lock_guard lock(mutex_);
    on_[display] = on;
  }
  // Whether the display was ever set.
  bool wasSet(int display) const {
    std::lock_guard lock(mutex_);
    return on_.count(display) != 0;
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, bool> on_;
};

class MemoryPlayOrder : public PlayOrder {
 public:
  bool random() const override { return random_; }
  void setRandom(bool on) override { random_ = on; }
  int priority() const override { return priority_; }
  void setPriority(int priority) override { priority_ = priority; }

 private:
  bool random_ = false;
  int priority_ = 0;
};

class MemoryVolumes : public Volumes {
 public:
  explicit MemoryVolumes(int initial = 32000) : values_{initial, initial, initial} {}
  int volume(Line line) const override { return values_[line]; }
  void setVolume(Line line, int value) override { values_[line] = value; }

 private:
  int values_[3];
};

// The program-wide values as a fresh process has them, reading from `registry`.
inline void resetProgramValues(Registry* registry) {
  ProgramValues& values = programValues();
  values.setRegistry(registry);
  values.setMp3path(std::nullopt);
  values.setPlaylist(std::nullopt);
  values.setSkin(std::nullopt);
  values.setSessionID(-1);
}

}  // namespace brovana::test
