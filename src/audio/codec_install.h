#pragma once
// Making sure the MPEG Layer-3 encoder is there before the conversion stage relies on it. There
// is nothing to register on this platform: the check is that the codec answers (a driver opens,
// offers a Layer-3 format, and a stream from PCM to that format opens).

namespace brovana {

class Mp3Codec;
class Prompts;
class ProgramExit;

// True when the encoder answers. Otherwise the administrator box, and false.
bool installCodec(Mp3Codec& codec, Prompts& prompts);

// What the conversion stage does when installCodec failed: the three log lines, the question
// whether to see the log file (opened on Yes), and the end of the program with code 0.
void codecInstallFailed(Prompts& prompts, ProgramExit& exit);

}  // namespace brovana
