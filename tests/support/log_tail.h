#pragma once
// What the program-wide log received since the object was made. The log opens with the first
// line a process writes; when none was written yet it is opened in a scratch folder of the
// process, so that tests do not litter the build tree.

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "diag/logger.h"
#include "support/journal.h"
#include "support/temp_folder.h"

namespace brovana::test {

class LogTail {
 public:
  LogTail() {
    static TempFolder logFolder;
    if (Logger::getLogPath().empty()) {
      ScopedChdir inFolder(logFolder.path());
      Logger::log("test log opened\n");
    }
    offset_ = all().size();
  }
  std::string text() const { return all().substr(offset_); }
  bool contains(const std::string& part) const { return text().find(part) != std::string::npos; }
  int count(const std::string& part) const {
    std::string t = text();
    int n = 0;
    for (size_t at = t.find(part); at != std::string::npos; at = t.find(part, at + part.size())) ++n;
    return n;
  }
  bool waitFor(const std::string& part, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
    return waitUntil([&] { return contains(part); }, limit);
  }

 private:
  static std::string all() {
    std::ostringstream text;
    text << std::ifstream(Logger::getLogPath(), std::ios::binary).rdbuf();
    return text.str();
  }
  size_t offset_ = 0;
};

}  // namespace brovana::test
