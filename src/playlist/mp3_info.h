#pragma once
// What the program knows of one track: for an MP3 file the facts of its first frame header, whether
// it is a Xing VBR file, its length, and the texts of its ID3v1 tag (Latin-1 in the file, UTF-8
// here); for the other formats the facts the installed TrackReader gives. With a reader, the
// file's richest tag (ID3v2, APE, Vorbis comments ...) takes the place of ID3v1. Reading never
// fails: `valid()` says whether playable audio was found, `problem()` why not, and every other fact
// keeps its default otherwise.
//
// An MP3Info is a plain value; the playlist item that owns one guards it for other threads.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace brovana {

class TrackReader;

inline constexpr int kGenreCount = 126;
// The ID3v1 genre names as Winamp extended them, numbered 0 to 125.
const char* genreName(int number);

// The length in bytes, padding included, of the MPEG audio frame whose header begins `header`;
// 0 when the bytes are no frame header (no sync, a reserved version, layer or sample rate, or
// the "free" bit rate).
int mpegFrameBytes(std::span<const uint8_t> header);

class MP3Info {
 public:
  // The defaults of a file that was not read.
  MP3Info();
  // Reads the tag and the first frame header of the file at `path`.
  explicit MP3Info(std::string path);
  // The same reading rules on a file's whole contents held in memory.
  static MP3Info fromBytes(std::string path, std::span<const uint8_t> contents);

  bool valid() const { return valid_; }
  int bitrate() const { return bitrate_; }        // bits per second; -1 until a header is read
  int sampleRate() const { return sampleRate_; }  // Hz; 22050 until a header is read
  int mode() const { return mode_; }              // 0 stereo, 1 j-stereo, 2 dual-ch, 3 single-ch
  int version() const { return version_; }        // 0 MPEG-1, 1 MPEG-2 LSF, 2 MPEG-2.5
  int layer() const { return layer_; }            // 0 layer I, 1 layer II, 2 layer III
  bool hasID3v2() const { return hasId3v2_; }
  bool hasID3v1() const { return hasId3v1_; }
  // Any tag with a text in it, of whatever kind.
  bool hasTag() const { return hasId3v1_ || hasOtherTag_; }
  // "MP3", or the format the reader named.
  std::string formatName() const { return format_.empty() ? "MP3" : format_; }
  // Why the file cannot be played, as far as reading it told; empty otherwise.
  const std::string& problem() const { return problem_; }
  // ReplayGain of the file's tags, in dB.
  std::optional<double> trackGain() const { return trackGain_; }
  std::optional<double> albumGain() const { return albumGain_; }
  const std::string& path() const { return path_; }
  int audioBytes() const { return audioBytes_; }
  int duration() const { return duration_; }  // whole seconds
  int padding() const { return padding_; }
  int emphasis() const { return emphasis_; }
  int protection() const { return protection_; }
  int privateBit() const { return private_; }
  int id3v2Size() const { return id3v2Size_; }
  int firstFrame() const { return firstFrame_; }
  bool vbr() const { return vbr_; }
  const std::array<uint8_t, 4>& header() const { return header_; }
  int year() const { return year_; }
  const std::string& comment() const { return comment_; }
  const std::string& genre() const { return genre_; }

  const char* versionName() const;   // "MPEG-1", "MPEG-2 LSF", "MPEG-2.5"
  const char* modeName() const;      // "stereo", "j-stereo", "dual-ch", "single-ch"
  const char* emphasisName() const;  // "none", "50//15ms", "reserved", "CCITT j.17"

  int channels() const;
  const char* modeText() const;  // "mono" or "stereo"
  // The title with "..." after one of `limit` to 244 characters (limit 0: never decorated);
  // a single space when empty.
  std::string title(int limit) const;
  std::string title() const { return title(30); }
  std::string artist() const;
  std::string album() const;
  // "Variable bitrate" or "128 Kbps, 44100 hz, (stereo)".
  std::string formatInfo() const;
  // "Title (Artist)": names the track in the status display.
  std::string displayTitle() const;
  // The part of the path after the last '/'.
  std::string fileName() const;

  // Writes (or overwrites) the file's 128-byte ID3v1 tag; each UTF-8 text fills a 30-byte field
  // as Latin-1 (the tag's own character set; others become '?'). Year,
  // comment and genre of an existing tag are kept. False when the file cannot be opened for
  // writing or the write failed; a failed write leaves the file as it was.
  bool writeID3v1(std::string_view artist, std::string_view title, std::string_view album);
  // The tag editor's write: ID3v1 for MP3 (and an ID3v2 tag it has, through the reader), the
  // format's own tag otherwise.
  bool writeTag(std::string_view artist, std::string_view title, std::string_view album);

 private:
  class Source;
  class FileSource;
  class MemorySource;

  void readFrom(Source& source);
  void readID3v1(Source& source);
  bool readFirstFrame(Source& source);
  bool frameFollows(Source& source, std::span<const uint8_t> head, long long at);
  bool decodeHeader(std::span<const uint8_t> frame);
  void readOtherFormat(TrackReader& reader, bool mp3Name);
  void readTags(TrackReader& reader);

  int bitrate_ = -1;
  bool valid_ = false;
  int sampleRate_ = 22050;
  int mode_ = 0;
  int version_ = 0;
  int layer_ = 0;
  bool hasId3v2_ = false;
  bool hasId3v1_ = false;
  std::string path_;
  int audioBytes_ = 0;
  int duration_ = 0;
  int padding_ = 0;
  int emphasis_ = 0;
  int protection_ = 0;
  int private_ = 0;
  int id3v2Size_ = 0;
  int firstFrame_ = 0;
  bool vbr_ = false;
  std::array<uint8_t, 4> header_{};
  std::string title_;
  std::string artist_ = " ";
  std::string album_ = " ";
  int year_ = 0;
  std::string comment_ = " ";
  std::string genre_ = " ";
  std::string format_;  // empty for MP3
  std::string problem_;
  bool hasOtherTag_ = false;
  std::optional<double> trackGain_;
  std::optional<double> albumGain_;
};

}  // namespace brovana
