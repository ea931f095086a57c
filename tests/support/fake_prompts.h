#pragma once
// Prompts and program end for tests: records what the code showed (and, with a journal, writes
// "ask TEXT", "box TEXT", "open TARGET", "notice TEXT" into it) and answers questions from a
// script, Yes by default. Thread-safe.

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/prompts.h"
#include "support/journal.h"

namespace brovana::test {

class FakePrompts : public Prompts {
 public:
  struct Box {
    BoxKind kind;
    std::string text, caption;
  };

  Journal* journal = nullptr;
  bool defaultAnswer = true;
  // Answers for the next questions, in order; once used up, questions get `defaultAnswer`.
  void answerNext(bool yes) { locked()->answers.push_back(yes); }

  using Prompts::ask;
  bool ask(const Question& question) override {
    note("ask", question.text);
    auto state = locked();
    state->questions.push_back(question);
    bool yes = state->answers.empty() ? defaultAnswer : state->answers.front();
    if (!state->answers.empty()) state->answers.pop_front();
    return yes;
  }
  // The next choose() answer, set from the test's thread; otherwise Yes or No as ask answers.
  std::optional<Answer> nextChoice;
  Answer choose(const Question& question) override {
    std::optional<Answer> chosen = std::exchange(nextChoice, std::nullopt);
    bool yes = ask(question);
    return chosen.value_or(yes ? Answer::Yes : Answer::No);
  }
  void notice(std::string_view text) override { note("notice", text), locked()->notices.emplace_back(text); }
  void waitCursor(bool on) override { locked()->waitCursor = on; }
  void open(std::string_view target) override { note("open", target), locked()->opened.emplace_back(target); }

  std::vector<Box> boxes() const { return locked()->boxes; }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const Box& b : boxes()) texts.push_back(b.text);
    return texts;
  }
  std::vector<Question> questions() const { return locked()->questions; }
  std::vector<std::string> opened() const { return locked()->opened; }
  std::vector<std::string> notices() const { return locked()->notices; }
  bool waitCursorOn() const { return locked()->waitCursor; }

 protected:
  void showBox(BoxKind kind, std::string_view text, std::string_view caption) override {
    note("box", text);
    locked()->boxes.push_back({kind, std::string(text), std::string(caption)});
  }

 private:
  struct State {
    std::deque<bool> answers;
    std::vector<Box> boxes;
    std::vector<Question> questions;
    std::vector<std::string> opened, notices;
    bool waitCursor = false;
  };
  // The state, with the lock held for as long as the returned object lives.
  struct Locked {
    std::unique_lock<std::mutex> lock;
    State* state;
    State* operator->() const { return state; }
  };
  Locked locked() const { return {std::unique_lock(mutex_), &state_}; }
  void note(const char* what, std::string_view text) {
    if (journal) journal->add(what, text);
  }
  mutable std::mutex mutex_;
  mutable State state_;
};

class FakeExit : public ProgramExit {
 public:
  void endProgram(int code) override { ended = true, exitCode = code; }
  bool ended = false;
  int exitCode = -1;
};

}  // namespace brovana::test
