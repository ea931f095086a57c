#pragma once
// A scratch folder that disappears with the test; optionally the current directory meanwhile.

#include <string>
#include <utility>
#include <vector>

namespace brovana::test {

// The whole file; empty when it cannot be read.
std::string readFile(const std::string& path);

// The text with every occurrence of each placeholder replaced by its value.
std::string fillIn(std::string text, const std::vector<std::pair<std::string, std::string>>& values);

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Creates the folders on the way.
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const { return readFile(file(name)); }

 private:
  std::string path_;
};

// Changes into a folder for the lifetime of the object.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& folder);
  ~ScopedChdir();

 private:
  std::string previous_;
};

}  // namespace brovana::test
