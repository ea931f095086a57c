#pragma once
// What the studio does by itself at launch, for a station that must come back after a reboot:
// go on the air without asking, and record what goes on the air from the log-in on. Stored
// beside the mixing settings.

#include <optional>
#include <string>

namespace brovana {

class Registry;

struct AutomationSettings {
  bool onAirAtStart = false;
  bool recordOnAir = false;
};

AutomationSettings loadAutomation(Registry& registry);
void saveAutomation(Registry& registry, const AutomationSettings& automation);

// Where the recording at launch goes: -outfile when given, else with the setting a file named
// with its start time in `folder`; none without either.
std::optional<std::string> recordingAtStart(const std::optional<std::string>& outFile,
                                            const AutomationSettings& automation, const std::string& folder);

}  // namespace brovana
