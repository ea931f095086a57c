#include "platform/taglib_track_reader.h"

#include <sys/stat.h>
#include <taglib/aifffile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <cstdlib>
#include <memory>

#include "platform/sndfile_decoder.h"

namespace brovana {
namespace {

std::string utf8(const TagLib::String& text) {
  return text.to8Bit(true);
}

// "-6.20 dB" and the like; none when the value is missing or no number.
std::optional<double> gainOf(const TagLib::PropertyMap& properties, const char* key) {
  auto found = properties.find(key);
  if (found == properties.end() || found->second.isEmpty()) return std::nullopt;
  std::string text = utf8(found->second.front());
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !(value > -60.0 && value < 60.0)) return std::nullopt;
  return value;
}

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file as TagLib reads its kind: by its contents, as the decoder goes, so that a file named
// for another format keeps its tags; by its name when libsndfile does not know it.
std::unique_ptr<TagLib::File> openTagged(const std::string& path, std::string format) {
  if (format.empty()) {
    std::string reason;
    std::optional<AudioFacts> audio = sndfileFacts(path, reason);
    if (audio) format = audio->format;
  }
  const char* name = path.c_str();
  std::unique_ptr<TagLib::File> file;
  if (format == "FLAC")
    file = std::make_unique<TagLib::FLAC::File>(name, false);
  else if (format == "Ogg Vorbis")
    file = std::make_unique<TagLib::Ogg::Vorbis::File>(name, false);
  else if (format == "Opus")
    file = std::make_unique<TagLib::Ogg::Opus::File>(name, false);
  else if (format == "WAV")
    file = std::make_unique<TagLib::RIFF::WAV::File>(name, false);
  else if (format == "AIFF")
    file = std::make_unique<TagLib::RIFF::AIFF::File>(name, false);
  else if (format == "MP3")
    file = std::make_unique<TagLib::MPEG::File>(name, false);
  else
    file.reset(TagLib::FileRef::create(name, false));
  if (!file || !file->isValid() || file->tag() == nullptr) return nullptr;
  return file;
}

}  // namespace

std::optional<AudioFacts> TagLibTrackReader::readAudio(const std::string& path, std::string& reason) {
  return sndfileFacts(path, reason);
}

std::optional<TagFacts> TagLibTrackReader::readTags(const std::string& path, std::string_view format) {
  if (!isRegularFile(path)) return std::nullopt;
  std::unique_ptr<TagLib::File> file = openTagged(path, std::string(format));
  if (!file) return std::nullopt;
  const TagLib::Tag& tag = *file->tag();
  TagLib::PropertyMap properties = file->properties();
  return TagFacts{.title = utf8(tag.title()),
                  .artist = utf8(tag.artist()),
                  .album = utf8(tag.album()),
                  .comment = utf8(tag.comment()),
                  .genre = utf8(tag.genre()),
                  .year = static_cast<int>(tag.year()),
                  .trackGain = gainOf(properties, "REPLAYGAIN_TRACK_GAIN"),
                  .albumGain = gainOf(properties, "REPLAYGAIN_ALBUM_GAIN")};
}

bool TagLibTrackReader::writeTags(const std::string& path, const TagFacts& texts) {
  if (!isRegularFile(path)) return false;
  std::unique_ptr<TagLib::File> file = openTagged(path, {});
  if (!file) return false;
  auto mpeg = dynamic_cast<TagLib::MPEG::File*>(file.get());
  // An MP3 keeps the ID3v1 tag the studio writes itself; an ID3v2 tag it already has takes the
  // same texts, or its older ones would still be what members see. None is added.
  TagLib::Tag* tag = mpeg ? mpeg->ID3v2Tag(false) : file->tag();
  if (tag == nullptr) return true;
  tag->setTitle(TagLib::String(texts.title, TagLib::String::UTF8));
  tag->setArtist(TagLib::String(texts.artist, TagLib::String::UTF8));
  tag->setAlbum(TagLib::String(texts.album, TagLib::String::UTF8));
  if (mpeg)
    return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                      TagLib::File::DoNotDuplicate);
  return file->save();
}

}  // namespace brovana
