#include "audio/codec_install.h"

#include "audio/line_speed.h"
#include "audio/mp3_codec.h"
#include "core/prompts.h"
#include "diag/logger.h"

namespace brovana {
namespace {

bool encoderAnswers(Mp3Codec& codec) {
  for (DriverId id : codec.enumDrivers()) {
    std::unique_ptr<CodecDriver> driver;
    if (codec.openDriver(id, driver) != MMSYSERR_NOERROR || !driver) continue;
    std::optional<WaveFormat> mp3;
    driver->enumFormats([&](const WaveFormat& format) {
      if (format.wfx.wFormatTag != WAVE_FORMAT_MPEGLAYER3) return true;
      mp3 = format;
      return false;
    });
    driver->close();
    if (!mp3) continue;
    std::unique_ptr<CodecStream> stream;
    WaveFormat pcm = makePcmFormat(static_cast<int>(mp3->wfx.nSamplesPerSec), mp3->wfx.nChannels);
    if (codec.openStream(pcm, *mp3, stream) == MMSYSERR_NOERROR && stream) {
      stream->close();
      return true;
    }
  }
  return false;
}

}  // namespace

bool installCodec(Mp3Codec& codec, Prompts& prompts) {
  if (encoderAnswers(codec)) return true;
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
