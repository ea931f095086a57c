#pragma once
// Making sure the encoder is there before the conversion stage relies on it. There is nothing to
// register on this platform: the check is that the encoder library is usable.

namespace brovana {

class EncoderLibrary;
class Prompts;
class ProgramExit;

// True when the library is usable. Otherwise the administrator box, and false.
bool installCodec(EncoderLibrary& encoders, Prompts& prompts);

// What the conversion stage does when installCodec failed: the three log lines, the question
// whether to see the log file (opened on Yes), and the end of the program with code 0.
void codecInstallFailed(Prompts& prompts, ProgramExit& exit);

}  // namespace brovana
