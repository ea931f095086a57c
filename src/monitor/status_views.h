#pragma once
// Where the status reports land: single text fields (the main window's plain fields, skin
// labels) and the status window with its labels by numeric id. Implemented by the Qt side and by
// test fakes. Calls come from any thread; an implementation hands them to its own thread.

#include <string>

namespace brovana {

class TextTarget {
 public:
  virtual ~TextTarget() = default;
  virtual void setText(const std::string& text) = 0;
};

class StatusWindowView {
 public:
  virtual ~StatusWindowView() = default;
  virtual void setLabel(int id, const std::string& text) = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual void show() = 0;
};

}  // namespace brovana
