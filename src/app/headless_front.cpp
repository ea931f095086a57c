#include "app/headless_front.h"

#include <cstdio>

namespace brovana {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Questions whose Yes would take the station off the air, or needs a desktop.
constexpr std::string_view kAnsweredNo[] = {
    "Do you already have an account on Zelvora?",  // a first run is refused before it is asked
    "This account, ",                               // ...log into a different account? No: go live on it
    "A new version of Brovana-Live is available. Would you like to upgrade now?",
    "Your broadcast encountered some errors. Would you like to see the log file?",
};

// How often "restart and try again?" is answered Restart before the headless studio gives up:
// every Restart asks again on failure, so an unreachable server must not loop forever.
constexpr int kRestartsOffered = 3;

}  // namespace

bool HeadlessPrompts::answerFor(std::string_view question) {
  for (std::string_view no : kAnsweredNo)
    if (startsWith(question, no)) return false;
  return true;
}

bool HeadlessPrompts::ask(const Question& question) {
  std::lock_guard lock(mutex_);
  bool yes = answerFor(question.text);
  if (startsWith(question.text, "Unable to connect to your Zelvora server")) yes = restartsOffered_++ < kRestartsOffered;
  const std::string& said = yes ? (question.yesCaption.empty() ? std::string("Yes") : question.yesCaption)
                                : (question.noCaption.empty() ? std::string("No") : question.noCaption);
  std::fprintf(stderr, "brovana-live: question: %s -> %s\n", question.text.c_str(), said.c_str());
  return yes;
}

void HeadlessPrompts::notice(std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "brovana-live: %.*s\n", static_cast<int>(text.size()), text.data());
}

void HeadlessPrompts::open(std::string_view target) {
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "brovana-live: open %.*s\n", static_cast<int>(target.size()), target.data());
}

void HeadlessPrompts::showBox(BoxKind kind, std::string_view text, std::string_view) {
  const char* label = kind == BoxKind::Error ? "error" : kind == BoxKind::Warning ? "warning" : "info";
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "brovana-live: %s: %.*s\n", label, static_cast<int>(text.size()), text.data());
}

void HeadlessExit::endProgram(int code) {
  code_ = code;
  ended_ = true;
}

}  // namespace brovana
