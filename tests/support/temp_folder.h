#pragma once
// A scratch folder that disappears with the test; optionally the current directory meanwhile.

#include <string>

namespace brovana::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;

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
