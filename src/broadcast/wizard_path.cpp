#include "broadcast/wizard_path.h"

namespace brovana {

void WizardPath::start(bool firstRun) {
  using enum WizardPage;
  if (firstRun)
    order_ = {FirstRun, Login, Title, Url, Connection, AddFiles, Done};
  else
    order_ = {Login, Title, Url, Connection, Done};
  at_ = 0;
}

void WizardPath::showOnly(WizardPage page) {
  order_ = {page};
  at_ = 0;
}

bool WizardPath::next() {
  if (at_ + 1 >= order_.size()) return false;
  ++at_;
  return true;
}

bool WizardPath::back() {
  if (at_ == 0) return false;
  --at_;
  return true;
}

}  // namespace brovana
