#include "app/station_fields.h"

#include "app/skin/skin.h"
#include "core/connection_rates.h"
#include "core/text.h"

namespace brovana {
namespace {

// A drop-down list as a picker of the genre hierarchy.
class ComboPicker final : public GenrePicker {
 public:
  explicit ComboPicker(QComboBox& list) : list_(list) {}
  void clear() override { list_.clear(); }
  void add(const std::string& name) override { list_.addItem(QString::fromStdString(name)); }
  void select(int position) override {
    list_.setCurrentIndex(position >= 0 && position < list_.count() ? position : -1);
  }

 private:
  QComboBox& list_;
};

}  // namespace

std::string stationText(const QLineEdit& field, int limit) {
  return withoutControls(field.text().left(limit).toStdString());
}

void fillQualities(QComboBox& list, int connection, int bitrate) {
  list.clear();
  for (const OutputQuality& quality : qualitiesFor(connection))
    list.addItem(QString::fromLatin1(quality.name));
  list.setCurrentIndex(qualityPosition(connection, bitrate).value_or(0));
}

GenreLists::GenreLists(const GenreList& hierarchy, int firstId) : hierarchy_(hierarchy) {
  second_.setObjectName(elementName(firstId - 2));
  third_.setObjectName(elementName(firstId - 1));
  second_.setText(QStringLiteral("2 :"));
  third_.setText(QStringLiteral("3 :"));
  QLabel* captions[] = {nullptr, &second_, &third_};
  for (size_t i = 0; i < lists_.size(); ++i) {
    QComboBox& list = lists_[i];
    list.setObjectName(elementName(firstId + static_cast<int>(i)));
    list.setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list.setMinimumContentsLength(10);
    if (captions[i]) {
      captions[i]->setBuddy(&list);
      row_.addWidget(captions[i]);
    }
    row_.addWidget(&list, 1);
  }
  // Only the member's own choices refill the lists, never the refills themselves.
  QObject::connect(&lists_[0], &QComboBox::activated, &lists_[0],
                   [this](int position) { firstChosen(position); });
  QObject::connect(&lists_[1], &QComboBox::activated, &lists_[1],
                   [this](int position) { secondChosen(position); });
}

void GenreLists::fillFromTable(const std::vector<std::string>& names) {
  for (QComboBox& list : lists_) {
    list.clear();
    for (const std::string& name : names) list.addItem(QString::fromStdString(name));
    list.setCurrentIndex(-1);
  }
  showsHierarchy_ = false;
}

void GenreLists::fillFromHierarchy(int a, int b) {
  if (hierarchy_.entries().empty()) return;
  ComboPicker first(lists_[0]), second(lists_[1]), third(lists_[2]);
  hierarchy_.fillByNumbers(a, b, first, second, third);
  showsHierarchy_ = true;
}

std::array<std::string, 3> GenreLists::texts(int limit) const {
  std::array<std::string, 3> chosen;
  for (size_t i = 0; i < lists_.size(); ++i)
    chosen[i] = withoutControls(lists_[i].currentText().left(limit).toStdString());
  return chosen;
}

// Positions count within the hierarchy. While the lists hold the service's names, the name
// chosen is looked up among the hierarchy's top level; one that is not there keeps the lists.
void GenreLists::firstChosen(int position) {
  if (!showsHierarchy_) {
    std::string name = lists_[0].currentText().toStdString();
    position = -1;
    int top = 0;
    for (const GenreEntry& entry : hierarchy_.entries()) {
      if (entry.level != 0) continue;
      if (entry.name == name) {
        position = top;
        break;
      }
      ++top;
    }
    if (position < 0) return;
  }
  fillFromHierarchy(position, 0);
}

void GenreLists::secondChosen(int position) {
  if (showsHierarchy_) fillFromHierarchy(lists_[0].currentIndex(), position);
}

}  // namespace brovana
