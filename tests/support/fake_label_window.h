#pragma once
// A window with labels by id (the stream quality window) for tests: every text each label was
// given, and how often the window was shown. Thread-safe: the gauge reports from worker threads.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/status_views.h"

namespace brovana::test {

class FakeLabelWindow : public LabelWindowView {
 public:
  void setLabel(int id, const std::string& text) override {
    std::lock_guard lock(mutex_);
    texts_[id].push_back(text);
  }
  void show() override {
    std::lock_guard lock(mutex_);
    ++shown_;
  }
  std::vector<std::string> texts(int id) {
    std::lock_guard lock(mutex_);
    return texts_[id];
  }
  // The last text, or "<unset>".
  std::string label(int id) { return texts(id).empty() ? "<unset>" : texts(id).back(); }
  int shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }

 private:
  std::mutex mutex_;
  std::map<int, std::vector<std::string>> texts_;
  int shown_ = 0;
};

}  // namespace brovana::test
