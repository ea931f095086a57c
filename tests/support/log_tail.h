#pragma once
// Reads what the program-wide log received since the object was made. The log file is opened by
// the first line a process writes; when that has not happened yet it is opened in a scratch
// folder of the process, so that tests do not litter the build tree.

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "diag/logger.h"
#include "support/temp_folder.h"

namespace brovana::test {

class LogTail {
 public:
  LogTail() {
    if (Logger::getLogPath().empty()) {
      static TempFolder logFolder;
      ScopedChdir inFolder(logFolder.path());
      Logger::log("test log opened\n");
    }
    path_ = Logger::getLogPath();
    offset_ = fileText().size();
  }

  std::string text() const { return fileText().substr(offset_); }
  bool contains(const std::string& part) const { return text().find(part) != std::string::npos; }
  int count(const std::string& part) const {
    std::string all = text();
    int n = 0;
    for (size_t at = all.find(part); at != std::string::npos; at = all.find(part, at + part.size())) ++n;
    return n;
  }
  bool waitFor(const std::string& part, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!contains(part)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

 private:
  std::string fileText() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }

  std::string path_;
  size_t offset_ = 0;
};

}  // namespace brovana::test
