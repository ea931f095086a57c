#include "broadcast/dsp_part.h"

namespace brovana {

bool DspPlugins::loadPlugins() {
  host_.loadPlugins();
  return true;
}

std::vector<PluginMenuEntry> DspPlugins::menu() const {
  std::vector<PluginMenuEntry> entries{{WADsp::kMenuNone, "-none-"}};
  for (const DspPluginSlot& slot : host_.plugins()) entries.push_back({slot.menuId, slot.description});
  return entries;
}

}  // namespace brovana
