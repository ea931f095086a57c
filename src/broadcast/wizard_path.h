#pragma once
// The setup wizard's way through its pages, apart from its window (app/setup_wizard.h): the page
// a run starts on, the page Next and Back lead to, and which of Back, Next and Finish a page
// shows.

#include <cstddef>
#include <vector>

namespace brovana {

enum class WizardPage { FirstRun, Login, Title, Url, Connection, AddFiles, Done };
inline constexpr size_t kWizardPages = 7;

class WizardPath {
 public:
  // A first run starts on the welcome page and goes through every page, the first tracks too; a
  // later run goes from the login page to Done without them.
  void start(bool firstRun);
  // This page alone, as though reached.
  void showOnly(WizardPage page);
  WizardPage page() const { return order_[at_]; }
  // Every page of the run in its order, and where in it the member is.
  const std::vector<WizardPage>& steps() const { return order_; }
  size_t step() const { return at_; }
  // Next, once the page's checks passed; false when no page follows.
  bool next();
  // Back; false when no page lies behind.
  bool back();

  bool showsBack() const { return page() != WizardPage::FirstRun && page() != WizardPage::Login; }
  bool showsNext() const { return page() != WizardPage::Done; }
  bool showsFinish() const { return page() == WizardPage::Done; }

 private:
  std::vector<WizardPage> order_{WizardPage::FirstRun};
  size_t at_ = 0;
};

}  // namespace brovana
