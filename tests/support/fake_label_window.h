#pragma once
// A window with labels by id (the stream quality window) for tests: it records every text each
// label was given and how often it was shown. Thread-safe: the gauge reports from worker threads.

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
  // Every text the label was given, in order.
  std::vector<std::string> texts(int id) const {
    std::lock_guard lock(mutex_);
    auto it = texts_.find(id);
    return it == texts_.end() ? std::vector<std::string>{} : it->second;
  }
  // The label's last text, or "<unset>".
  std::string label(int id) const {
    auto all = texts(id);
    return all.empty() ? "<unset>" : all.back();
  }
  int shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, std::vector<std::string>> texts_;
  int shown_ = 0;
};

}  // namespace brovana::test
