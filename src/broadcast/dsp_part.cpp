#include "broadcast/dsp_part.h"

namespace brovana {

bool PluginPart::loadPlugins() {
  host_.loadPlugins();
  return true;
}

std::vector<PluginMenuEntry> PluginPart::menu() const {
  std::vector<PluginMenuEntry> entries{{DspHost::kMenuNone, "-none-"}};
  for (const DspPluginSlot& slot : host_.plugins()) entries.push_back({slot.menuId, slot.description});
  return entries;
}

}  // namespace brovana
