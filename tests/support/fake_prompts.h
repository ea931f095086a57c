#pragma once
// Prompts and program end for tests: records what the core showed and answers questions from a
// script (Yes by default).

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/prompts.h"

namespace brovana::test {

class FakePrompts : public Prompts {
 public:
  struct Box {
    BoxKind kind;
    std::string text;
    std::string caption;
  };

  // Answers for the next questions, in order; once used up, questions get `defaultAnswer`.
  void answerNext(bool yes);
  bool defaultAnswer = true;

  bool ask(const Question& question) override;
  void notice(std::string_view text) override;
  void waitCursor(bool on) override;
  void open(std::string_view target) override;

  std::vector<Box> boxes() const;
  std::vector<std::string> boxTexts() const;
  std::vector<Question> questions() const;
  std::vector<std::string> opened() const;
  std::vector<std::string> notices() const;
  bool waitCursorOn() const;

 protected:
  void showBox(BoxKind kind, std::string_view text, std::string_view caption) override;

 private:
  mutable std::mutex mutex_;
  std::deque<bool> answers_;
  std::vector<Box> boxes_;
  std::vector<Question> questions_;
  std::vector<std::string> opened_;
  std::vector<std::string> notices_;
  bool waitCursor_ = false;
};

class FakeExit : public ProgramExit {
 public:
  void endProgram(int code) override {
    ended = true;
    exitCode = code;
  }
  bool ended = false;
  int exitCode = -1;
};

}  // namespace brovana::test
