#include "support/temp_folder.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace brovana::test {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "brovana-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempFolder::write(const std::string& name, const std::string& content) const {
  std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
  std::ofstream(file(name), std::ios::binary) << content;
}

std::string TempFolder::read(const std::string& name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

ScopedChdir::ScopedChdir(const std::string& folder) {
  char here[PATH_MAX];
  if (getcwd(here, sizeof here)) previous_ = here;
  if (chdir(folder.c_str()) != 0) throw std::runtime_error("chdir failed: " + folder);
}

ScopedChdir::~ScopedChdir() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::abort();
}

}  // namespace brovana::test
