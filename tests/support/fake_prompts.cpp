#include "support/fake_prompts.h"

namespace brovana::test {

void FakePrompts::answerNext(bool yes) {
  std::lock_guard lock(mutex_);
  answers_.push_back(yes);
}

bool FakePrompts::ask(const Question& question) {
  std::lock_guard lock(mutex_);
  questions_.push_back(question);
  if (answers_.empty()) return defaultAnswer;
  bool yes = answers_.front();
  answers_.pop_front();
  return yes;
}

void FakePrompts::notice(std::string_view text) {
  std::lock_guard lock(mutex_);
  notices_.emplace_back(text);
}

void FakePrompts::waitCursor(bool on) {
  std::lock_guard lock(mutex_);
  waitCursor_ = on;
}

void FakePrompts::open(std::string_view target) {
  std::lock_guard lock(mutex_);
  opened_.emplace_back(target);
}

void FakePrompts::showBox(BoxKind kind, std::string_view text, std::string_view caption) {
  std::lock_guard lock(mutex_);
  boxes_.push_back({kind, std::string(text), std::string(caption)});
}

std::vector<FakePrompts::Box> FakePrompts::boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<std::string> FakePrompts::boxTexts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const Box& b : boxes_) texts.push_back(b.text);
  return texts;
}

std::vector<Question> FakePrompts::questions() const {
  std::lock_guard lock(mutex_);
  return questions_;
}

std::vector<std::string> FakePrompts::opened() const {
  std::lock_guard lock(mutex_);
  return opened_;
}

std::vector<std::string> FakePrompts::notices() const {
  std::lock_guard lock(mutex_);
  return notices_;
}

bool FakePrompts::waitCursorOn() const {
  std::lock_guard lock(mutex_);
  return waitCursor_;
}

}  // namespace brovana::test
