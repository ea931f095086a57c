#pragma once
// "Change Skins...": the skins in a folder by their names, each previewed in its own colours as
// it is picked; "Other file..." still loads any skin file. Object name "SkinChooser"; the list
// "SkinList", the preview "SkinPreview".

#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace brovana {

class SkinChooser final : public QDialog {
 public:
  // `folder` holds the installed skins; `current` is picked first when it is among them.
  SkinChooser(const QString& folder, const QString& current, QWidget* parent = nullptr);

  // Modal: the skin file chosen, empty when the member cancelled.
  QString choose();
  // The file of the skin picked in the list; empty for none.
  QString picked() const;
  QListWidget& list() { return list_; }

 private:
  void preview();
  void otherFile();

  QString folder_;
  QString other_;  // a file from "Other file..."
  QVBoxLayout layout_{this};
  QHBoxLayout body_;
  QListWidget list_;
  QFrame sample_;  // the preview: a panel, a status text and a button, in the picked skin
  QVBoxLayout sampleLayout_{&sample_};
  QFrame panel_;
  QVBoxLayout panelLayout_{&panel_};
  QLabel nowPlaying_, connection_, author_;
  QPushButton button_;
  QHBoxLayout buttons_;
  QPushButton otherButton_, ok_, cancel_;
};

}  // namespace brovana
