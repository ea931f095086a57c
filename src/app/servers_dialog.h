#pragma once
// The "Servers" dialog: the extra servers the studio streams to besides the member's own link,
// up to eight. Picking one in the list fills the fields; Add, Change and Remove edit the list
// (stored at once), Test logs in with the fields' server in the background. The checks, the list
// and the store are broadcast/extra_servers.h's ServersEditor; this is the window.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "broadcast/extra_servers.h"

namespace brovana {

class QtServersDialog final : public ServersView {
 public:
  // The servers stored in `registry`; the tests log in with `clients`; `stored` is told after
  // each change is stored.
  QtServersDialog(Registry& registry, SourceClientMaker clients, std::function<void()> stored = {});
  ~QtServersDialog() override;

  void showServers(const std::vector<std::string>& rows) override;
  void showProblem(const std::string& text) override;
  void showTestResult(const std::string& text) override;

  QDialog& widget() { return dialog_; }

 private:
  void addRow(QLabel& caption, QWidget& field, const char* name, const char* text);
  void fill(const ServerForm& form);
  ServerForm fields() const;
  void matchCodec();

  QDialog dialog_;
  QVBoxLayout layout_{&dialog_};
  QListWidget list_;
  QFormLayout form_;
  QLabel protocolCaption_, hostCaption_, portCaption_, mountCaption_, userCaption_, passwordCaption_,
      codecCaption_, bitrateCaption_, rateCaption_, channelsCaption_, nameCaption_;
  QComboBox protocol_, codec_, rate_, channels_;
  QLineEdit host_, port_, mount_, user_, password_, bitrate_, name_;
  QCheckBox insecure_;
  QLabel result_;
  QHBoxLayout buttons_;
  QPushButton add_, change_, remove_, test_, close_;
  ServersEditor editor_;  // last: a test under way ends before the widgets go
};

}  // namespace brovana
