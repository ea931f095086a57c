#include "support/temp_folder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace brovana::test {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string fillIn(std::string text, const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [key, value] : values)
    for (size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += value.size())
      text.replace(at, key.size(), value);
  return text;
}

TempFolder::TempFolder() : path_((fs::temp_directory_path() / "brovana-test-XXXXXX").string()) {
  if (!mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void TempFolder::write(const std::string& name, const std::string& content) const {
  fs::create_directories(fs::path(file(name)).parent_path());
  std::ofstream(file(name), std::ios::binary) << content;
}

ScopedChdir::ScopedChdir(const std::string& folder) {
  std::error_code unknown;  // a folder that went away is not gone back to
  previous_ = fs::current_path(unknown);
  fs::current_path(folder);
}

ScopedChdir::~ScopedChdir() {
  std::error_code gone;
  if (!previous_.empty()) fs::current_path(previous_, gone);
}

}  // namespace brovana::test
