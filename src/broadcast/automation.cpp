#include "broadcast/automation.h"

#include <ctime>

#include "broadcast/recording_split.h"
#include "core/program_values.h"
#include "core/registry.h"

namespace brovana {

AutomationSettings loadAutomation(Registry& registry) {
  AutomationSettings automation;
  auto key = registry.open(kProfileRoot);
  if (!key) return automation;
  automation.onAirAtStart = key->text("on_air_at_start") == "1";
  automation.recordOnAir = key->text("record_on_air") == "1";
  return automation;
}

void saveAutomation(Registry& registry, const AutomationSettings& automation) {
  auto key = registry.create(kProfileRoot);
  if (!key) return;
  key->set("on_air_at_start", automation.onAirAtStart ? "1" : "0");
  key->set("record_on_air", automation.recordOnAir ? "1" : "0");
}

std::optional<std::string> recordingAtStart(const std::optional<std::string>& outFile,
                                            const AutomationSettings& automation, const std::string& folder) {
  if (outFile || !automation.recordOnAir) return outFile;
  return partName(folder + "/recording.mp3", std::time(nullptr));
}

}  // namespace brovana
