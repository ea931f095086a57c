#pragma once
// The skin query: the skin file to load. The stored one when it can be read, else the default
// one with a warning; neither: a message and the end of the program (none then). Later calls
// return the name checked first, unchecked.

#include <optional>
#include <string>

#include "core/program_values.h"

namespace brovana {

class Prompts;
class ProgramExit;

std::optional<std::string> skinName(Prompts& prompts, ProgramExit& exit,
                                    ProgramValues& values = programValues());

}  // namespace brovana
