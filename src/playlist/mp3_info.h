#pragma once
// What the program knows of one MP3 file: the facts of its first frame header, whether it is a
// Xing VBR file, its length, and the texts of its ID3v1 tag. Reading never fails: `valid()` says
// whether a frame header was found, and every other fact keeps its default otherwise.
//
// An MP3Info is a plain value; the playlist item that owns one guards it for other threads.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace brovana {

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

  bool valid() const { return gValid; }
  int bitrate() const { return gBitrate; }        // bits per second; -1 until a header is read
  int sampleRate() const { return gSampleRate; }  // Hz; 22050 until a header is read
  int mode() const { return gMode; }              // 0 stereo, 1 j-stereo, 2 dual-ch, 3 single-ch
  int version() const { return gVersion; }        // 0 MPEG-1, 1 MPEG-2 LSF, 2 MPEG-2.5
  int layer() const { return gLayer; }            // 0 layer I, 1 layer II, 2 layer III
  bool hasID3v2() const { return gHasID3v2; }
  bool hasID3v1() const { return gHasID3v1; }
  const std::string& path() const { return gPath; }
  int audioBytes() const { return gAudioBytes; }
  int duration() const { return gDuration; }  // whole seconds
  int padding() const { return gPadding; }
  int emphasis() const { return gEmphasis; }
  int protection() const { return gProtection; }
  int privateBit() const { return gPrivate; }
  int id3v2Size() const { return gID3v2Size; }
  int firstFrame() const { return gFirstFrame; }
  bool vbr() const { return gVBR; }
  const std::array<uint8_t, 4>& header() const { return gHeader; }
  int year() const { return gYear; }
  const std::string& comment() const { return gComment; }
  const std::string& genre() const { return gGenre; }

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

  // Writes (or overwrites) the file's 128-byte ID3v1 tag; each text fills a 30-byte field. Year,
  // comment and genre of an existing tag are kept. False when the file cannot be opened for
  // writing or the write failed; a failed write leaves the file as it was.
  bool writeID3v1(std::string_view artist, std::string_view title, std::string_view album);

 private:
  class Source;
  class FileSource;
  class MemorySource;

  void readFrom(Source& source);
  void readID3v1(Source& source);
  bool readFirstFrame(Source& source);
  bool frameFollows(Source& source, std::span<const uint8_t> head, long long at);
  bool decodeHeader(std::span<const uint8_t> frame);

  int gBitrate = -1;
  bool gValid = false;
  int gSampleRate = 22050;
  int gMode = 0;
  int gVersion = 0;
  int gLayer = 0;
  bool gHasID3v2 = false;
  bool gHasID3v1 = false;
  std::string gPath;
  int gAudioBytes = 0;
  int gDuration = 0;
  int gPadding = 0;
  int gEmphasis = 0;
  int gProtection = 0;
  int gPrivate = 0;
  int gID3v2Size = 0;
  int gFirstFrame = 0;
  bool gVBR = false;
  std::array<uint8_t, 4> gHeader{};
  std::string gTitle;
  std::string gArtist = " ";
  std::string gAlbum = " ";
  int gYear = 0;
  std::string gComment = " ";
  std::string gGenre = " ";
};

}  // namespace brovana
