#include "playlist/mp3_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/text.h"
#include "diag/logger.h"
#include "playlist/track_reader.h"

namespace brovana {

namespace {

constexpr size_t kScanBytes = 100000;
constexpr size_t kScanPiece = 16384;
constexpr size_t kTagBytes = 128;
constexpr size_t kTagField = 30;
// The header and the Xing fields at the largest offset (36 + "Xing" + flags + frame count).
constexpr size_t kFrameWindow = 48;

// kbit/s by [MPEG-1 | MPEG-2 and 2.5][layer I, II, III][bit-rate index]; index 15 is not a rate.
constexpr int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

// Hz by [MPEG-1, MPEG-2 LSF, MPEG-2.5][sample-rate index]; index 3 is reserved.
constexpr int kSampleRates[3][4] = {
    {44100, 48000, 32000, 0}, {22050, 24000, 16000, 0}, {11025, 12000, 8000, 0}};

// clang-format off
constexpr const char* kGenres[kGenreCount] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
    "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
    "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative",
    "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial",
    "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave",
    "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical",
    "Rock & Roll", "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebop",
    "Latin", "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock",
    "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad",
    "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella", "Euro-House", "Dance Hall",
};
// clang-format on

std::string_view afterLastSlash(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A fixed tag field: its text ends at the first zero byte.
std::string tagField(const uint8_t* bytes, size_t size) {
  const auto* text = reinterpret_cast<const char*>(bytes);
  return std::string(text, strnlen(text, size));
}

void ampersandsToSpaces(std::string& text, size_t within) {
  for (size_t i = 0; i < text.size() && i < within; ++i)
    if (text[i] == '&') text[i] = ' ';
}

void trimTrailing(std::string& text) {
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.pop_back();
}

uint32_t bigEndian32(std::span<const uint8_t> bytes, size_t at) {
  if (at + 4 > bytes.size()) return 0;  // past the data reads as the zeroed buffer would
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 |
         bytes[at + 3];
}

int clampToInt(long long value) {
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Only regular files: opening a FIFO or a device would block or never end.
bool isRegularFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

class FileDescriptor {
 public:
  FileDescriptor(const std::string& path, int flags)
      : fd_(isRegularFile(path) ? ::open(path.c_str(), flags | O_CLOEXEC) : -1) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  explicit operator bool() const { return fd_ >= 0; }
  int get() const { return fd_; }

 private:
  int fd_;
};

FilePtr openRegularFile(const std::string& path, const char* mode) {
  if (!isRegularFile(path)) return nullptr;
  return FilePtr(std::fopen(path.c_str(), mode));
}

// Whole seconds, halves going up (the fraction taken in single precision); 0 at no rate.
int roundedSeconds(int bytes, int bytesPerSecond) {
  if (bytesPerSecond <= 0) return 0;
  float seconds = static_cast<float>(bytes) / static_cast<float>(bytesPerSecond);
  return static_cast<int>(std::floor(seconds + 0.5f));
}

}  // namespace

int mpegFrameBytes(std::span<const uint8_t> header) {
  if (header.size() < 4 || header[0] != 0xFF || (header[1] & 0xE0) != 0xE0) return 0;
  const int versionBits = (header[1] >> 3) & 3, layerBits = (header[1] >> 1) & 3;
  if (versionBits == 1 || layerBits == 0) return 0;
  const int version = versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2;
  const int layer = 3 - layerBits;
  const int bitsPerSecond = 1000 * kBitrates[version == 0 ? 0 : 1][layer][header[2] >> 4];
  const int rate = kSampleRates[version][(header[2] >> 2) & 3];
  if (bitsPerSecond == 0 || rate == 0) return 0;  // "free" or reserved
  const int padding = (header[2] >> 1) & 1;
  if (layer == 0) return (12 * bitsPerSecond / rate + padding) * 4;
  return (layer == 2 && version != 0 ? 72 : 144) * bitsPerSecond / rate + padding;
}

const char* genreName(int number) {
  return number >= 0 && number < kGenreCount ? kGenres[number] : "";
}

// Where the bytes come from: a file, or a buffer handed in by a caller (and the fuzzer).
class MP3Info::Source {
 public:
  virtual ~Source() = default;
  virtual bool isOpen() const = 0;
  virtual long long size() const = 0;
  // Bytes actually read; fewer than asked at the end of the data.
  virtual size_t read(long long offset, std::span<uint8_t> out) = 0;
};

class MP3Info::FileSource final : public MP3Info::Source {
 public:
  explicit FileSource(const std::string& path) : file_(openRegularFile(path, "rb")) {
    struct stat st {};
    if (file_ && ::fstat(::fileno(file_.get()), &st) == 0) size_ = st.st_size;
  }
  bool isOpen() const override { return file_ != nullptr; }
  long long size() const override { return size_; }
  size_t read(long long offset, std::span<uint8_t> out) override {
    if (!file_ || offset < 0 || offset >= size_ || fseeko(file_.get(), offset, SEEK_SET) != 0) return 0;
    return std::fread(out.data(), 1, out.size(), file_.get());
  }

 private:
  FilePtr file_;
  long long size_ = 0;
};

class MP3Info::MemorySource final : public MP3Info::Source {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool isOpen() const override { return true; }
  long long size() const override { return static_cast<long long>(bytes_.size()); }
  size_t read(long long offset, std::span<uint8_t> out) override {
    if (offset < 0 || offset >= size()) return 0;
    size_t n = std::min(out.size(), bytes_.size() - static_cast<size_t>(offset));
    std::memcpy(out.data(), bytes_.data() + offset, n);
    return n;
  }

 private:
  std::span<const uint8_t> bytes_;
};

MP3Info::MP3Info() = default;

MP3Info::MP3Info(std::string path) {
  path_ = std::move(path);
  TrackReader* reader = trackReader();
  const bool mp3Name = path_.find(".mp3") != std::string::npos || path_.find(".MP3") != std::string::npos;
  if (mp3Name || reader == nullptr) {
    FileSource source(path_);
    readFrom(source);
  }
  if (reader == nullptr) return;
  if (!valid_) readOtherFormat(*reader, mp3Name);
  readTags(*reader);
}

void MP3Info::readOtherFormat(TrackReader& reader, bool mp3Name) {
  std::optional<AudioFacts> audio = reader.readAudio(path_, problem_);
  if (audio && audio->format == "MP3") {
    // An MP3 under another name is read as one.
    if (mp3Name) return;
    FileSource source(path_);
    readFrom(source);
    if (!valid_) problem_ = "no MPEG audio frame found";
    return;
  }
  if (!audio) {
    title_ = std::string(afterLastSlash(path_).substr(0, 128));
    if (problem_.empty()) problem_ = "not a format the studio plays";
    return;
  }
  problem_.clear();
  title_ = std::string(afterLastSlash(path_).substr(0, 128));
  format_ = audio->format;
  valid_ = true;
  sampleRate_ = audio->sampleRate;
  mode_ = audio->channels == 1 ? 3 : 0;
  bitrate_ = audio->bitrate;
  duration_ = audio->seconds;
}

void MP3Info::readTags(TrackReader& reader) {
  std::optional<TagFacts> tags = reader.readTags(path_, valid_ ? formatName() : std::string());
  if (!tags) return;
  auto take = [this](std::string& into, std::string text) {
    trimTrailing(text);
    if (text.empty()) return;
    ampersandsToSpaces(text, text.size());
    into = std::move(text);
    hasOtherTag_ = true;
  };
  take(title_, tags->title);
  take(artist_, tags->artist);
  take(album_, tags->album);
  take(comment_, tags->comment);
  take(genre_, tags->genre);
  if (tags->year > 0) year_ = tags->year;
  trackGain_ = tags->trackGain;
  albumGain_ = tags->albumGain;
}

MP3Info MP3Info::fromBytes(std::string path, std::span<const uint8_t> contents) {
  MP3Info info;
  info.path_ = std::move(path);
  MemorySource source(contents);
  info.readFrom(source);
  return info;
}

void MP3Info::readFrom(Source& source) {
  title_ = std::string(afterLastSlash(path_).substr(0, 128));
  ampersandsToSpaces(title_, kTagField);
  readID3v1(source);
  valid_ = readFirstFrame(source);
}

void MP3Info::readID3v1(Source& source) {
  if (!source.isOpen() || source.size() < static_cast<long long>(kTagBytes)) return;
  std::array<uint8_t, kTagBytes> tag{};
  if (source.read(source.size() - kTagBytes, tag) != kTagBytes) return;
  if (std::memcmp(tag.data(), "TAG", 3) != 0) return;

  title_ = tagField(&tag[3], kTagField);
  artist_ = tagField(&tag[33], kTagField);
  album_ = tagField(&tag[63], kTagField);
  for (std::string* text : {&title_, &artist_, &album_}) ampersandsToSpaces(*text, kTagField);
  year_ = parseInt(tagField(&tag[93], 4));
  comment_ = tagField(&tag[97], kTagField);
  // The tag holds Latin-1; the program's texts are UTF-8.
  for (std::string* text : {&title_, &artist_, &album_, &comment_}) {
    trimTrailing(*text);
    *text = asUtf8(*text);
  }
  // The byte is read as a signed number, so 128 to 255 fall outside the names as well.
  int genre = static_cast<int8_t>(tag[127]);
  genre_ = genre >= 1 && genre <= 125 ? kGenres[genre] : "Various";
  hasId3v1_ = true;
}

bool MP3Info::readFirstFrame(Source& source) {
  if (!source.isOpen() || source.size() <= 0) return false;
  // The scan covers at most the first 100,000 bytes; they are read a piece at a time and the
  // reading stops at the first frame, since later bytes cannot change the outcome.
  const size_t limit = static_cast<size_t>(std::min<long long>(source.size(), kScanBytes));
  std::vector<uint8_t> head;
  auto readPiece = [&] {
    const size_t had = head.size();
    head.resize(std::min(limit, had + kScanPiece));
    head.resize(had + source.read(static_cast<long long>(had), std::span<uint8_t>(head).subspan(had)));
    return head.size() > had;
  };
  if (!readPiece()) return false;

  long long tagEnd = 0;
  if (head.size() >= 2 && head[0] == 'I' && head[1] == 'D') {
    auto at = [&](size_t i) -> long long { return i < head.size() ? head[i] & 0x7F : 0; };
    tagEnd = (at(6) << 21) + (at(7) << 14) + (at(8) << 7) + at(9) + 10;
    id3v2Size_ = clampToInt(tagEnd);
    hasId3v2_ = true;
  }
  // Sync bits and the layer bits of Layer III (version and protection bits may be anything),
  // after the ID3v2 tag: a sync pattern inside the tag (padding, pictures) is not a frame.
  long long hit = -1;
  for (size_t i = static_cast<size_t>(std::min<long long>(tagEnd, limit)); hit < 0;) {
    for (; i + 1 < head.size(); ++i) {
      if (head[i] == 0xFF && (head[i + 1] & 0xE6) == 0xE2 && frameFollows(source, head, i)) {
        hit = static_cast<long long>(i);
        break;
      }
    }
    if (hit >= 0 || !readPiece()) break;
  }
  if (hit < 0 && !hasId3v2_) return false;
  // Without a frame in the scan, the tag's end is taken, and must hold one.
  firstFrame_ = hit >= 0 ? static_cast<int>(hit) : id3v2Size_;
  if (hit < 0 && !frameFollows(source, head, firstFrame_)) return false;
  audioBytes_ = clampToInt(std::max(0LL, source.size() - firstFrame_));

  // The frame usually sits in the scanned bytes; after a large ID3v2 tag it is read on its own.
  std::array<uint8_t, kFrameWindow> window{};
  std::span<const uint8_t> frame;
  if (static_cast<size_t>(firstFrame_) + kFrameWindow <= head.size()) {
    frame = std::span<const uint8_t>(head).subspan(firstFrame_, kFrameWindow);
  } else {
    frame = std::span<const uint8_t>(window.data(), source.read(firstFrame_, window));
  }
  if (frame.size() < 4) return false;
  return decodeHeader(frame);
}

// A frame counts only when it is whole and the next frame's header, of the same version, layer
// and sample rate, begins where it ends (or the audio ends there), as decoders check before they
// trust a sync: a lone sync pattern in random bytes, PCM or a picture is no MP3.
bool MP3Info::frameFollows(Source& source, std::span<const uint8_t> head, long long at) {
  auto header = [&](long long offset, std::array<uint8_t, 4>& out) {
    if (offset >= 0 && offset + 4 <= static_cast<long long>(head.size())) {
      std::memcpy(out.data(), head.data() + offset, 4);
      return true;
    }
    return source.read(offset, out) == out.size();
  };
  std::array<uint8_t, 4> first{}, next{};
  if (!header(at, first)) return false;
  const int length = mpegFrameBytes(first);
  if (length == 0) return false;
  const long long end = at + length;
  if (end == source.size() || (hasId3v1_ && end == source.size() - static_cast<long long>(kTagBytes)))
    return true;
  return header(end, next) && mpegFrameBytes(next) > 0 && (next[1] & 0x1E) == (first[1] & 0x1E) &&
         (next[2] & 0x0C) == (first[2] & 0x0C);
}

bool MP3Info::decodeHeader(std::span<const uint8_t> frame) {
  const uint8_t h0 = frame[0], h1 = frame[1], h2 = frame[2], h3 = frame[3];
  if (h0 != 0xFF) return false;
  int version;
  switch ((h1 >> 3) & 3) {
    case 3:
      version = 0;
      break;
    case 2:
      version = 1;
      break;
    case 0:
      version = 2;
      break;
    default:
      return false;
  }
  int layer = 3 - ((h1 >> 1) & 3);
  if (layer == 3) return false;

  version_ = version;
  layer_ = layer;
  protection_ = h1 & 1;
  bitrate_ = 1000 * kBitrates[version == 0 ? 0 : 1][layer][h2 >> 4];
  padding_ = (h2 >> 1) & 1;
  sampleRate_ = kSampleRates[version][(h2 >> 2) & 3];
  private_ = h2 & 1;
  mode_ = h3 >> 6;
  emphasis_ = h3 & 3;
  header_ = {h0, h1, h2, h3};

  const bool mono = mode_ == 3;
  const size_t xing = version == 0 ? (mono ? 21 : 36) : (mono ? 13 : 21);
  const bool hasTag = xing + 4 <= frame.size();
  const bool xingTag = hasTag && std::memcmp(frame.data() + xing, "Xing", 4) == 0;
  // Encoders put the same header, named "Info", in front of constant-bit-rate audio. Its own
  // frame can carry a higher bit rate than the stream (at low rates the stream's frames are too
  // small to hold it), which would make the length from the first frame's bit rate far too
  // short; its frame count is exact.
  const bool infoTag = hasTag && std::memcmp(frame.data() + xing, "Info", 4) == 0;
  const uint32_t flags = xingTag || infoTag ? bigEndian32(frame, xing + 4) : 0;
  const uint32_t frames = (flags & 1) ? bigEndian32(frame, xing + 8) : 0;
  auto lengthFromFrames = [&] {
    const double samples = version == 0 ? 1152 : 576;
    if (frames == 0 || sampleRate_ == 0) return 0;
    return clampToInt(static_cast<long long>((samples * 1000 / sampleRate_) * frames * 0.001));
  };
  if (xingTag) {
    vbr_ = true;
    duration_ = lengthFromFrames();
  } else if (infoTag && frames > 0 && sampleRate_ > 0) {
    duration_ = lengthFromFrames();
  } else {
    duration_ = roundedSeconds(audioBytes_, bitrate_ / 8);
  }
  // No file holds more than its bytes last at the lowest bit rate of its version and layer: a
  // Xing count of a cut-off file says far more.
  duration_ =
      std::min(duration_, roundedSeconds(audioBytes_, kBitrates[version == 0 ? 0 : 1][layer][1] * 125));
  return true;
}

const char* MP3Info::versionName() const {
  static constexpr const char* names[] = {"MPEG-1", "MPEG-2 LSF", "MPEG-2.5"};
  return names[std::clamp(version_, 0, 2)];
}

const char* MP3Info::modeName() const {
  static constexpr const char* names[] = {"stereo", "j-stereo", "dual-ch", "single-ch"};
  return names[mode_ & 3];
}

const char* MP3Info::emphasisName() const {
  static constexpr const char* names[] = {"none", "50//15ms", "reserved", "CCITT j.17"};
  return names[emphasis_ & 3];
}

int MP3Info::channels() const {
  return mode_ == 3 ? 1 : 2;
}

const char* MP3Info::modeText() const {
  return mode_ == 3 ? "mono" : "stereo";
}

std::string MP3Info::title(int limit) const {
  if (title_.empty()) return " ";
  // A title that fills its field was probably cut by the tag's 30 bytes. Characters count, not
  // the bytes of their UTF-8.
  const int length = static_cast<int>(std::count_if(
      title_.begin(), title_.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
  if (limit > 0 && length >= limit && length < 245) return title_ + "...";
  return title_;
}

std::string MP3Info::artist() const {
  return artist_.empty() ? " " : artist_;
}

std::string MP3Info::album() const {
  return album_.empty() ? " " : album_;
}

std::string MP3Info::formatInfo() const {
  char text[80];
  if (!format_.empty()) {
    std::snprintf(text, sizeof text, "%s, %d Kbps, %d hz, (%s)", format_.c_str(), bitrate_ / 1000,
                  sampleRate_, modeText());
    return text;
  }
  if (vbr_) return "Variable bitrate";
  std::snprintf(text, sizeof text, "%d Kbps, %d hz, (%s)", bitrate_ / 1000, sampleRate_, modeText());
  return text;
}

std::string MP3Info::displayTitle() const {
  bool noArtist = trim(artist_).empty();
  return title() + " " + (noArtist ? std::string(" ") : "(" + artist_ + ")");
}

std::string MP3Info::fileName() const {
  return std::string(afterLastSlash(path_));
}

bool MP3Info::writeTag(std::string_view artist, std::string_view title, std::string_view album) {
  TrackReader* reader = trackReader();
  TagFacts texts;
  texts.title = title;
  texts.artist = artist;
  texts.album = album;
  if (format_.empty()) {
    // The reader brings an ID3v2 tag along, which members would otherwise see unchanged.
    return writeID3v1(artist, title, album) &&
           (!hasId3v2_ || reader == nullptr || reader->writeTags(path_, texts));
  }
  if (reader == nullptr || !reader->writeTags(path_, texts)) return false;
  title_ = texts.title;
  artist_ = texts.artist;
  album_ = texts.album;
  hasOtherTag_ = true;
  return true;
}

bool MP3Info::writeID3v1(std::string_view artist, std::string_view title, std::string_view album) {
  FileDescriptor fd(path_, O_RDWR);
  if (!fd) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return false;
  const off_t size = st.st_size;

  std::array<uint8_t, kTagBytes> old{};
  bool hadTag =
      size >= static_cast<off_t>(kTagBytes) &&
      ::pread(fd.get(), old.data(), kTagBytes, size - kTagBytes) == static_cast<ssize_t>(kTagBytes) &&
      std::memcmp(old.data(), "TAG", 3) == 0;

  // Each field as Latin-1, 30 characters at most, so that no character is cut in half.
  auto field = [](std::string_view text) { return asLatin1(text.substr(0, text.find('\0')), kTagField); };
  std::string newTitle = field(title), newArtist = field(artist), newAlbum = field(album);

  std::array<uint8_t, kTagBytes> tag{};
  std::memcpy(tag.data(), "TAG", 3);
  std::memcpy(&tag[3], newTitle.data(), newTitle.size());
  std::memcpy(&tag[33], newArtist.data(), newArtist.size());
  std::memcpy(&tag[63], newAlbum.data(), newAlbum.size());
  if (hadTag) std::memcpy(&tag[93], &old[93], kTagBytes - 93);  // year, comment, genre stay

  // Only the tag's own bytes are ever written, so the audio cannot be harmed; a failed write is
  // undone so that the file keeps its old tag, or none.
  const off_t at = hadTag ? size - static_cast<off_t>(kTagBytes) : size;
  if (::pwrite(fd.get(), tag.data(), kTagBytes, at) != static_cast<ssize_t>(kTagBytes)) {
    bool undone = hadTag ? ::pwrite(fd.get(), old.data(), kTagBytes, at) == static_cast<ssize_t>(kTagBytes)
                         : ::ftruncate(fd.get(), size) == 0;
    if (!undone) Logger::log("MP3Info::writeID3v1 - could not undo a failed write to %s\n", path_.c_str());
    return false;
  }

  // What a reading of the file gives back.
  title_ = asUtf8(newTitle);
  artist_ = asUtf8(newArtist);
  album_ = asUtf8(newAlbum);
  return true;
}

}  // namespace brovana
