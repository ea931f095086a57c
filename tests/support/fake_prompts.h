#pragma once
// Prompts and program end for tests: records what the core showed and answers questions from a
// script (Yes by default). Thread-safe.

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
  void answerNext(bool yes) {
    locked([&] { answers_.push_back(yes); });
  }
  bool defaultAnswer = true;

  bool ask(const Question& question) override {
    std::lock_guard lock(mutex_);
    questions_.push_back(question);
    if (answers_.empty()) return defaultAnswer;
    bool yes = answers_.front();
    answers_.pop_front();
    return yes;
  }
  using Prompts::ask;
  void notice(std::string_view text) override {
    locked([&] { notices_.emplace_back(text); });
  }
  void waitCursor(bool on) override {
    locked([&] { waitCursor_ = on; });
  }
  void open(std::string_view target) override {
    locked([&] { opened_.emplace_back(target); });
  }

  std::vector<Box> boxes() const {
    return locked([&] { return boxes_; });
  }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const Box& b : boxes()) texts.push_back(b.text);
    return texts;
  }
  std::vector<Question> questions() const {
    return locked([&] { return questions_; });
  }
  std::vector<std::string> questionTexts() const {
    std::vector<std::string> texts;
    for (const Question& q : questions()) texts.push_back(q.text);
    return texts;
  }
  std::vector<std::string> opened() const {
    return locked([&] { return opened_; });
  }
  std::vector<std::string> notices() const {
    return locked([&] { return notices_; });
  }
  bool waitCursorOn() const {
    return locked([&] { return waitCursor_; });
  }

 protected:
  void showBox(BoxKind kind, std::string_view text, std::string_view caption) override {
    locked([&] { boxes_.push_back({kind, std::string(text), std::string(caption)}); });
  }

 private:
  template <typename F>
  auto locked(F f) const -> decltype(f()) {
    std::lock_guard lock(mutex_);
    return f();
  }
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
