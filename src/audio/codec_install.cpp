#include "audio/codec_install.h"

#include "audio/audio_encoder.h"
#include "core/prompts.h"
#include "diag/logger.h"

namespace brovana {

bool installCodec(EncoderLibrary& encoders, Prompts& prompts) {
  if (encoders.usable()) return true;
  prompts.error(
      "Unable to register your MP3 \"CODEC\" in the registry, since your system privileges are not set "
      "correctly. "
      "Call your system administrator.",
      "error");
  return false;
}

void codecInstallFailed(Prompts& prompts, ProgramExit& exit) {
  Logger::log("Unable to register the codec, l3codeca.acm. You are probably running this on a\n");
  Logger::log("networked Windows-NT system without \"administrator\" priveliges. Have your\n");
  Logger::log("administrator install the software.\n");
  Question question;
  question.text =
      "Unable to install your MP3 codec. Would you like to see the log file for more information?";
  question.caption = " ";
  if (prompts.ask(question)) prompts.open(Logger::getLogPath());

  exit.endProgram(0);
}

}  // namespace brovana
