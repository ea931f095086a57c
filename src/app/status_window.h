#pragma once
// The status window: what the status display reports, label by label, on a skinned panel.
// Hidden until the Status command shows it. Every call may come from a broadcast thread and is
// queued to the GUI thread.
//
// Value labels carry the report ids (1038 now playing ... 1084 track number); the caption of
// each is the element 1000 above it (2038 "Now playing"), the two headings 2001 and 2002. The
// track and playlist times show what went by and, under the caption 3075/3076 "left", the rest.

#include <QFrame>
#include <QGridLayout>
#include <QVBoxLayout>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "broadcast/studio_parts.h"

class QLabel;

namespace brovana {

inline constexpr int kStatusCaptionOffset = 1000;

class QtStatusWindow final : public StatusWindow {
 public:
  QtStatusWindow();
  ~QtStatusWindow() override;

  void setLabel(int id, const std::string& text) override;
  void setTitle(const std::string& title) override;
  void show() override;
  void setSkin(const std::string& path) override;

  QWidget& widget() { return window_; }

 private:
  void addHeading(int id, const char* caption);
  void addRow(int id, const char* caption, bool pair);
  void addExtraServerRows();

  QWidget window_;
  QVBoxLayout layout_{&window_};
  QFrame panel_;
  QGridLayout grid_{&panel_};
  std::vector<std::unique_ptr<QLabel>> labels_;
  std::map<int, QLabel*> values_;              // made by the constructor, read-only afterwards
  std::map<QLabel*, QLabel*> seconds_;         // the second figure of a value that has two
  std::map<QLabel*, QLabel*> hiddenCaptions_;  // an extra server's value and caption, hidden until used
  QLabel* extraHeading_ = nullptr;
  int rows_ = 0;
};

}  // namespace brovana
