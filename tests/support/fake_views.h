#pragma once
// Views for tests: they record what the core showed. Thread-safe, because the core reports from
// worker threads.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/main_window_view.h"
#include "monitor/status_views.h"

namespace brovana::test {

class FakeTextTarget : public TextTarget {
 public:
  void setText(const std::string& text) override {
    std::lock_guard lock(mutex_);
    texts_.push_back(text);
  }
  // The last text set, or "<unset>".
  std::string text() const {
    std::lock_guard lock(mutex_);
    return texts_.empty() ? "<unset>" : texts_.back();
  }
  size_t count() const {
    std::lock_guard lock(mutex_);
    return texts_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
};

class FakeStatusWindow : public StatusWindowView {
 public:
  void setLabel(int id, const std::string& text) override {
    std::lock_guard lock(mutex_);
    labels_[id] = text;
    history_.push_back({id, text});
  }
  void setTitle(const std::string& title) override {
    std::lock_guard lock(mutex_);
    title_ = title;
  }
  void show() override {
    std::lock_guard lock(mutex_);
    ++shown_;
  }

  // The label's text, or "<unset>" when it was never set.
  std::string label(int id) const {
    std::lock_guard lock(mutex_);
    auto it = labels_.find(id);
    return it == labels_.end() ? "<unset>" : it->second;
  }
  std::map<int, std::string> labels() const {
    std::lock_guard lock(mutex_);
    return labels_;
  }
  // Every text that label has been given, in order.
  std::vector<std::string> labelHistory(int id) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& [label, text] : history_)
      if (label == id) texts.push_back(text);
    return texts;
  }
  std::string title() const {
    std::lock_guard lock(mutex_);
    return title_;
  }
  int shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, std::string> labels_;
  std::vector<std::pair<int, std::string>> history_;
  std::string title_ = "<unset>";
  int shown_ = 0;
};

class FakeMainWindow : public MainWindowView {
 public:
  void setTitle(const std::string& title) override {
    std::lock_guard lock(mutex_);
    titles_.push_back(title);
  }
  void setBroadcastCaption(const std::string& caption) override {
    std::lock_guard lock(mutex_);
    caption_ = caption;
  }
  void setMenuCheck(int commandId, bool checked) override {
    std::lock_guard lock(mutex_);
    checks_[commandId] = checked;
  }

  std::string title() const {
    std::lock_guard lock(mutex_);
    return titles_.empty() ? "<unset>" : titles_.back();
  }
  std::vector<std::string> titles() const {
    std::lock_guard lock(mutex_);
    return titles_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> titles_;
  std::string caption_;
  std::map<int, bool> checks_;
};

}  // namespace brovana::test
