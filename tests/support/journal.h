#pragma once
// What the fakes of a test were told, one line each ("label 1047 Connected!!", "ask Restart?"),
// in the order it happened. Thread-safe: reports come from worker threads.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace brovana::test {

class Journal {
 public:
  // The parts, separated by blanks.
  template <typename... Parts>
  void add(const Parts&... parts) {
    std::ostringstream line;
    ((line << parts << ' '), ...);
    std::lock_guard lock(mutex_);
    lines_.push_back(line.str().substr(0, line.str().size() - 1));
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // What follows `prefix` and a blank in the last line that has it, or "<unset>".
  std::string last(const std::string& prefix) const {
    auto all = lines();
    auto it =
        std::find_if(all.rbegin(), all.rend(), [&](auto& line) { return line.rfind(prefix + " ", 0) == 0; });
    return it == all.rend() ? "<unset>" : it->substr(prefix.size() + 1);
  }
  // What follows `prefix` and a blank in each line that has it, in order.
  std::vector<std::string> all(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : lines())
      if (line.rfind(prefix + " ", 0) == 0) found.push_back(line.substr(prefix.size() + 1));
    return found;
  }
  // Lines beginning with these, in this order, with any others between them.
  ::testing::AssertionResult follows(const std::vector<std::string>& beginnings) const {
    auto all = lines();
    auto at = all.begin();
    for (const std::string& beginning : beginnings)
      if ((at = std::find_if(at, all.end(), [&](auto& line) { return line.rfind(beginning, 0) == 0; })) ==
          all.end())
        return ::testing::AssertionFailure() << "no \"" << beginning << "\" in order in\n" << dump();
      else
        ++at;
    return ::testing::AssertionSuccess();
  }
  // No line begins with this.
  ::testing::AssertionResult lacks(const std::string& beginning) const {
    return follows({beginning}) ? ::testing::AssertionFailure() << "\"" << beginning << "\" in\n"
                                                                << dump()
                                : ::testing::AssertionSuccess();
  }
  std::string dump() const {
    std::string text;
    for (const std::string& line : lines()) text += "  " + line + "\n";
    return text;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// The parts stand in the text in this order, with anything between them.
inline ::testing::AssertionResult inOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& part : parts)
    if ((at = text.find(part, at)) == std::string::npos)
      return ::testing::AssertionFailure() << "no \"" << part << "\" in order in\n" << text;
  return ::testing::AssertionSuccess();
}

// waitUntil with the unit tests' limit.
inline bool eventually(const std::function<bool()>& done) {
  return waitUntil(done, std::chrono::seconds(10));
}

}  // namespace brovana::test
