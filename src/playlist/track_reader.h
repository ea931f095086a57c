#pragma once
// The formats a playlist takes, and the reader of what the playlist cannot read itself: the audio
// facts of FLAC, Ogg Vorbis, Opus, WAV and AIFF files and the tags of every format. The reader is
// a port: src/platform/ implements it on libsndfile and TagLib and installs it at start; without
// one (the unit tests) only MP3 files and their ID3v1 tags are read.

#include <optional>
#include <string>
#include <string_view>

namespace brovana {

// A name the dialogs, drops and folder scans take as a track: ".mp3" anywhere in it (as always),
// or one of the other formats' endings in any case.
bool isTrackName(std::string_view path);
// The same formats as the patterns of a file dialog's filter.
inline constexpr const char* kTrackFilePatterns =
    "*.mp3 *.MP3 *.flac *.FLAC *.ogg *.OGG *.oga *.opus *.wav *.WAV *.aif *.aiff *.AIF *.AIFF *.aifc";

struct AudioFacts {
  std::string format;  // "FLAC", "Ogg Vorbis", "Opus", "WAV", "AIFF"; "MP3" for an MPEG stream
  int sampleRate = 0;
  int channels = 0;
  int bitrate = 0;  // average bits per second of the file; 0 when unknown
  int seconds = 0;
};

struct TagFacts {
  std::string title;
  std::string artist;
  std::string album;
  std::string comment;
  std::string genre;
  int year = 0;
  // ReplayGain, in dB; none when the file has no such tag.
  std::optional<double> trackGain;
  std::optional<double> albumGain;
};

class TrackReader {
 public:
  virtual ~TrackReader() = default;
  // The facts of a file whose audio the studio can play; none, with the reason, otherwise.
  virtual std::optional<AudioFacts> readAudio(const std::string& path, std::string& reason) = 0;
  // The file's tags; none when it has none at all. `format` is what readAudio named, when known.
  virtual std::optional<TagFacts> readTags(const std::string& path, std::string_view format) = 0;
  // Writes title, artist and album into the file's own kind of tag; false when that failed.
  virtual bool writeTags(const std::string& path, const TagFacts& texts) = 0;
};

// The reader the playlist uses; none at first. Installed before the first playlist is read and
// left in place until the program ends.
void installTrackReader(TrackReader* reader);
TrackReader* trackReader();

}  // namespace brovana
