#pragma once
// Where the status reports land: single text fields (the main window's plain fields, skin
// labels) and windows with labels by numeric id (the status window, the stream quality window).
// Implemented by the Qt side and by test fakes. Calls come from any thread; an implementation
// hands them to its own thread.

#include <string>

namespace brovana {

class TextTarget {
 public:
  virtual ~TextTarget() = default;
  virtual void setText(const std::string& text) = 0;
};

class LabelWindowView {
 public:
  virtual ~LabelWindowView() = default;
  virtual void setLabel(int id, const std::string& text) = 0;
  virtual void show() = 0;
};

class StatusWindowView : public LabelWindowView {
 public:
  virtual void setTitle(const std::string& title) = 0;
};

}  // namespace brovana
