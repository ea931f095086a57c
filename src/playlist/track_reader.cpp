#include "playlist/track_reader.h"

#include <atomic>
#include <cctype>

namespace brovana {
namespace {

std::atomic<TrackReader*> installed{nullptr};

bool endsWithNoCase(std::string_view text, std::string_view ending) {
  if (text.size() < ending.size()) return false;
  text = text.substr(text.size() - ending.size());
  for (size_t i = 0; i < ending.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != ending[i]) return false;
  return true;
}

}  // namespace

bool isTrackName(std::string_view path) {
  if (path.find(".mp3") != std::string_view::npos || path.find(".MP3") != std::string_view::npos) return true;
  for (std::string_view ending : {".mp3", ".flac", ".ogg", ".oga", ".opus", ".wav", ".aif", ".aiff", ".aifc"})
    if (endsWithNoCase(path, ending)) return true;
  return false;
}

void installTrackReader(TrackReader* reader) {
  installed.store(reader);
}

TrackReader* trackReader() {
  return installed.load();
}

}  // namespace brovana
