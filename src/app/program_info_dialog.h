#pragma once
// "Submit Program Information": the member types what is on the air (a live show, a guest) and
// the studio posts it to the service as the station's current title. Title 1092, artist 1093,
// album 1094 (captions 1095 to 1097), the Submit button 1098, Close 1099 and the result 1100.

#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <optional>
#include <string_view>

#include "broadcast/studio_parts.h"

namespace brovana {

class QtProgramInfoDialog final : public ProgramInfoDialog {
 public:
  // Posts a title, with artist and album when typed; false when it could not be handed over.
  using Submit = std::function<bool(std::string_view title, std::optional<std::string_view> artist,
                                    std::optional<std::string_view> album)>;

  // Shows itself.
  explicit QtProgramInfoDialog(Submit post);

  void show() override;
  void setSkin(const std::string& path) override;
  QDialog& widget() { return dialog_; }

 private:
  void submit();

  Submit submitTo_;
  QDialog dialog_;
  QVBoxLayout layout_{&dialog_};
  QFormLayout form_;
  QLabel titleCaption_, artistCaption_, albumCaption_;
  QLineEdit title_, artist_, album_;
  QLabel result_;
  QHBoxLayout buttons_;
  QPushButton submit_, close_;
};

}  // namespace brovana
