#pragma once
// What the core asks of the user interface: message boxes, Yes/No questions, the start-up notice,
// the wait cursor and the desktop's "open" action. The Qt windows, the headless front end and the
// test fakes each implement it. Calls may come from any thread; a question asked from a worker
// blocks that worker until it is answered.

#include <string>
#include <string_view>

namespace brovana {

enum class BoxKind { Information, Warning, Error };
// A question's answers: Yes, No, or the third button a question may have.
enum class Answer { Yes, No, Other };

struct Question {
  std::string text;
  std::string caption = "Brovana-Live";
  std::string yesCaption;         // empty: the toolkit's own "Yes"
  std::string noCaption;          // empty: the toolkit's own "No"
  std::string otherCaption = {};  // a third answer between the two; empty: none
  // Yes would stop or end the broadcast: Enter answers No, so a stray key keeps the show on.
  bool defaultNo = false;

  // A question whose Yes takes the station off the air.
  static Question stopping(std::string_view text) {
    Question question;
    question.text = text;
    question.defaultNo = true;
    return question;
  }
};

class Prompts {
 public:
  virtual ~Prompts() = default;

  // Every box also writes its text to the log, so a run's story can be read afterwards.
  void information(std::string_view text, std::string_view caption = "Brovana-Live");
  void warning(std::string_view text, std::string_view caption = "Brovana-Live");
  void error(std::string_view text, std::string_view caption = "Brovana-Live");
  void box(BoxKind kind, std::string_view text, std::string_view caption);

  // True for Yes.
  virtual bool ask(const Question& question) = 0;
  bool ask(std::string_view text) {
    Question question;
    question.text = text;
    return ask(question);
  }

  // A question that may have a third answer. Without a window for it, Yes or No as ask answers.
  virtual Answer choose(const Question& question) { return ask(question) ? Answer::Yes : Answer::No; }

  // The small "standby" window shown while the program starts; empty text hides it.
  virtual void notice(std::string_view text) = 0;
  virtual void waitCursor(bool on) = 0;
  // URL, mailto: address or file, handed to the desktop.
  virtual void open(std::string_view target) = 0;

 protected:
  virtual void showBox(BoxKind kind, std::string_view text, std::string_view caption) = 0;
};

// Ends the program with the given exit code. The core calls this instead of exit() so that
// callers unwind and tests can observe it; after the call the core returns as soon as it can.
class ProgramExit {
 public:
  virtual ~ProgramExit() = default;
  virtual void endProgram(int code) = 0;
};

}  // namespace brovana
