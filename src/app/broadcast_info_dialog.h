#pragma once
// The modeless "Broadcast Information" dialog: the member's account and station after the first
// run. Its checks and what OK applies are in broadcast/broadcast_info.h; this is the window.
//
// Element ids: the fields 1231 member name, 1233 password, 1235 title, 1237 URL, 1241 to 1243
// the genres, 1245 the connection and 1247 the output quality, each with its caption one below
// (1230 "Your Member Name :" ... 1246 "Output Quality :"); OK 1 and Cancel 2.

#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/station_fields.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class ServerLink;
class StationDesk;

class QtBroadcastInfoDialog final : public BroadcastInfoDialog {
 public:
  // Fills its fields from the connection and shows itself.
  QtBroadcastInfoDialog(ServerLink& connection, StationDesk& desk, const GenreList& genres);

  void refresh(bool show) override;
  bool isOpen() const override { return dialog_.isVisible(); }
  void setSkin(const std::string& path) override;
  QDialog& widget() { return dialog_; }

 private:
  void fill();
  void accept();

  ServerLink& connection_;
  StationDesk& desk_;
  QDialog dialog_;
  QVBoxLayout layout_{&dialog_};
  QFormLayout form_;
  QLabel memberCaption_, passwordCaption_, titleCaption_, urlCaption_, genreCaption_, connectionCaption_,
      outputCaption_, fallbackCaption_;
  QLineEdit member_, password_, title_, url_, fallback_;
  QComboBox connectionList_, output_;
  QHBoxLayout buttons_;
  QPushButton ok_, cancel_;
  GenreLists genres_;
};

}  // namespace brovana
