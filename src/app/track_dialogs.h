#pragma once
// The three small windows the playlist window opens for single tracks, thin over the logic of
// playlist/track_tags.h:
// - the tag dialog "Add An ID3 V1 Tag" (modal, titled with the file's name): track name 1074,
//   artist 1075 and album 1076, each at most 30 characters, with their captions 1073, 1083 and
//   1046; 1078 writes the tag, 1077 leaves;
// - "Track Info" (modal): the file name 1057, title 1060, artist 1061, album 1062, length 1066 and
//   format 1067 on a panel (each caption 1000 above its value); 1064 closes it to start playing the
//   playlist at the track, 1055 just closes it;
// - "Find Track" (modeless, closing hides it): the search text 1122, the search button 1121
//   ("Find", then "Find Next"), close 1056 and the caption 1073.

#include <QDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <vector>

#include "playlist/track_tags.h"

namespace brovana {

class MP3Info;
class Playlist;
class Prompts;

class TagDialog final : public QDialog {
 public:
  // exec() answers Accepted once the tag is written.
  TagDialog(QWidget* parent, PlaylistItem& item, Prompts& prompts);

 private:
  void write();

  PlaylistItem& item_;
  Prompts& prompts_;
  QVBoxLayout layout_{this};
  QLabel note_;
  QFormLayout form_;
  QLabel titleCaption_, artistCaption_, albumCaption_;
  QLineEdit title_, artist_, album_;
  QHBoxLayout buttons_;
  QPushButton add_, cancel_;
};

class TrackInfoDialog final : public QDialog {
 public:
  // exec() answers kPlay when the member asked to start playing at the track.
  static constexpr int kPlay = 1;
  TrackInfoDialog(QWidget* parent, const MP3Info& info);

 private:
  QVBoxLayout layout_{this};
  QFrame panel_;
  QGridLayout grid_{&panel_};
  std::vector<std::unique_ptr<QLabel>> labels_;
  QHBoxLayout buttons_;
  QPushButton play_, close_;
};

class FindWindow final : public QDialog {
 public:
  // `playlist` names the list to search when asked (none: nothing to find).
  FindWindow(QWidget* parent, Prompts& prompts, std::function<Playlist*()> playlist);
  // Shows the window with the search text ready to type.
  void showSearch();

 private:
  void find();

  Prompts& prompts_;
  std::function<Playlist*()> playlist_;
  TrackFinder finder_;
  QVBoxLayout layout_{this};
  QHBoxLayout row_;
  QLabel caption_;
  QLineEdit text_;
  QHBoxLayout buttons_;
  QPushButton search_, close_;
};

}  // namespace brovana
