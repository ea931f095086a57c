#pragma once
// The studio without windows: boxes go to standard error (and, as every box, to the log), and
// each question gets the answer that keeps the station on the air.

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "core/prompts.h"

namespace brovana {

class HeadlessPrompts final : public Prompts {
 public:
  bool ask(const Question& question) override;
  void notice(std::string_view text) override;
  void waitCursor(bool) override {}
  // Nothing to hand a URL to without a desktop: it is printed instead.
  void open(std::string_view target) override;

  // The answer a question gets; exposed for the README's table and the tests.
  static bool answerFor(std::string_view question);

 protected:
  void showBox(BoxKind kind, std::string_view text, std::string_view caption) override;

 private:
  std::mutex mutex_;  // one message at a time on standard error
  int restartsOffered_ = 0;
};

// Records the end of the program; the front end returns the code once the core has unwound.
class HeadlessExit final : public ProgramExit {
 public:
  void endProgram(int code) override;
  bool ended() const { return ended_; }
  int code() const { return code_; }

 private:
  std::atomic<bool> ended_{false};
  std::atomic<int> code_{0};
};

}  // namespace brovana
