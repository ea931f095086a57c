#pragma once
// The program's own message and question dialog, and the small start-up notice. Both take the
// current skin when they open and glide their panel into place ("moveIn").
//
// Element ids: the panel "Panel"; the text 1086 (the notice's text 1085); the icon 1087; the
// buttons Yes 6, No 7 and OK 1.

#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

#include "core/prompts.h"

namespace brovana {

inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdOther = 11;  // a question's third answer
inline constexpr int kIdNoticeText = 1085;
inline constexpr int kIdMessageText = 1086;
inline constexpr int kIdMessageIcon = 1087;

// Moves a panel in from the left to where its layout put it, slowing down as it arrives.
class Glide {
 public:
  explicit Glide(QWidget& panel);
  void start();

 private:
  QWidget& panel_;
  QPropertyAnimation animation_;
};

// A box (OK) or a Yes/No question, maybe with a third answer (11); exec() answers Accepted for
// Yes, Rejected for No and Escape. Object names
// "MessageDialog" and "QuestionDialog".
class MessageDialog final : public QDialog {
 public:
  // A box.
  MessageDialog(BoxKind kind, const std::string& text, const std::string& caption);
  // A question, with the captions it asks for.
  explicit MessageDialog(const Question& question);

  QString text() const { return text_.text(); }
  // A question's answer from what exec() returned.
  static Answer answer(int result) {
    return result == kOtherResult ? Answer::Other : result == QDialog::Accepted ? Answer::Yes : Answer::No;
  }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  static constexpr int kOtherResult = 2;

  MessageDialog(const QPixmap& badge, const std::string& text, const std::string& caption);
  QPushButton& addButton(int id, const QString& caption);

  QVBoxLayout layout_{this};
  QFrame panel_;
  QHBoxLayout panelLayout_{&panel_};
  QLabel icon_;
  QLabel text_;
  QHBoxLayout buttons_;
  QPushButton first_{this};
  QPushButton second_{this};
  QPushButton third_{this};
  Glide glide_{panel_};
};

// The modeless "standby" window of the start-up, shown a little left of the screen's middle.
class NoticeWindow final : public QWidget {
 public:
  static constexpr int kOffset = -150;  // horizontal, from its default place

  NoticeWindow();
  // Shows the text at once, also while the GUI thread is busy with the start-up.
  void showText(const QString& text);

 private:
  QVBoxLayout layout_{this};
  QFrame panel_;
  QVBoxLayout panelLayout_{&panel_};
  QLabel text_;
  Glide glide_{panel_};
};

}  // namespace brovana
