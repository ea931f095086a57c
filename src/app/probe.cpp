#include "app/probe.h"

#include <cstdio>
#include <filesystem>

#include "core/text.h"

namespace brovana {

std::string probeLine(const MP3Info& info) {
  JsonObject json;
  json.text("path", info.path()).flag("valid", info.valid()).text("format", info.formatName());
  const bool mpeg = info.formatName() == "MP3";
  if (info.valid()) {
    if (mpeg)
      json.text("version", info.versionName()).number("layer", info.layer() + 1);
    else
      json.null("version").null("layer");
    json.number("bitrate", info.bitrate())
        .number("sampleRate", info.sampleRate())
        .number("channels", info.channels())
        .text("mode", info.modeName());
  } else {
    json.null("version").null("layer").null("bitrate").null("sampleRate").null("channels").null("mode");
  }
  json.flag("vbr", info.vbr())
      .number("duration", info.duration())
      .number("firstFrame", info.firstFrame())
      .number("id3v2Size", info.id3v2Size())
      .flag("hasID3v1", info.hasID3v1())
      .text("title", info.title(0))
      .text("artist", info.artist())
      .text("album", info.album())
      .number("year", info.year())
      .text("genre", info.genre());
  return json.str();
}

int runProbe(const std::vector<std::string>& files) {
  int code = 0;
  for (const std::string& file : files) {
    MP3Info info(file);
    std::printf("%s\n", probeLine(info).c_str());
    if (!info.valid()) {
      std::error_code ec;
      std::string why = std::filesystem::is_regular_file(file, ec)
                            ? (info.problem().empty() ? "no MPEG audio frame found" : info.problem())
                            : "cannot be read";
      std::fprintf(stderr, "brovana-live: %s: %s\n", file.c_str(), why.c_str());
      code = 1;
    }
  }
  std::fflush(stdout);
  return code;
}

}  // namespace brovana
