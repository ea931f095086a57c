#include "broadcast/skin_name.h"

#include <fstream>

#include "core/prompts.h"
#include "core/text.h"

namespace brovana {

std::optional<std::string> skinName(Prompts& prompts, ProgramExit& exit, ProgramValues& values) {
  if (auto checked = values.checkedSkin()) return checked;
  std::string name = values.skin().value_or(values.storedSkin().value_or(kDefaultSkin));
  auto readable = [](const std::string& path) { return std::ifstream(path).good(); };
  if (!readable(name)) {
    prompts.warning(
        formatText("The skin %s is missing, unable to continue. Switching to default skin.", name.c_str()));
    name = kDefaultSkin;
    if (!readable(name)) {
      prompts.error("No skins found, unable to continue. Is Brovana_live.exe file in the right directory?");
      exit.endProgram(0);
      return std::nullopt;
    }
  }
  values.setCheckedSkin(name);
  return name;
}

}  // namespace brovana
