#include "playlist/mp3_info.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "support/mp3_bytes.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using test::FrameHeader;
using test::Mpeg;

std::span<const uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

MP3Info fromText(const std::string& contents, std::string path = "/music/track.mp3") {
  return MP3Info::fromBytes(std::move(path), bytesOf(contents));
}

std::string randomBytes(size_t n) {
  std::string bytes(n, '\0');
  uint32_t state = 12345;
  for (char& b : bytes) b = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
  return bytes;
}

// A RIFF header and two seconds of a loud 44.1 kHz stereo sine, whose samples hold sync patterns.
std::string sineWav() {
  std::string wav = "RIFF\x24\x71\x05\x00WAVEfmt " + std::string(24, '\0') + "data";
  wav.resize(44, '\0');
  for (int i = 0; i < 2 * 44100 * 2; ++i) {
    int16_t sample = static_cast<int16_t>(32000 * std::sin(i / 2 * 2 * M_PI * 997 / 44100));
    wav.append(reinterpret_cast<const char*>(&sample), 2);
  }
  return wav;
}

TEST(MP3Info, HeaderFieldsFollowThePublishedTables) {
  // The scan only knows Layer III; a frame at the end of an ID3v2 tag is decoded whatever it is.
  // Each frame is as long as its header says, so that the next one follows.
  const std::string tag = test::id3v2Tag(100);
  struct Case {
    const char* name;
    FrameHeader header;
    int frameBytes;
    std::string before;
    int version, layer, bitrate, sampleRate, mode, channels;
  } cases[] = {
      {"MPEG-1 128k 44.1k j-stereo", {Mpeg::V1, 9, 0, 1}, 417, "", 0, 2, 128000, 44100, 1, 2},
      {"MPEG-1 320k 48k dual", {Mpeg::V1, 14, 1, 2}, 960, "", 0, 2, 320000, 48000, 2, 2},
      {"MPEG-2 64k 24k mono", {Mpeg::V2, 8, 1, 3}, 192, "", 1, 2, 64000, 24000, 3, 1},
      {"MPEG-2.5 32k 8k stereo", {Mpeg::V25, 4, 2, 0}, 288, "", 2, 2, 32000, 8000, 0, 2},
      {"MPEG-2.5 8k 11.025k mono", {Mpeg::V25, 1, 0, 3}, 52, "", 2, 2, 8000, 11025, 3, 1},
      {"Layer II after a tag", {Mpeg::V1, 9, 0, 0, 2}, 522, tag, 0, 1, 160000, 44100, 0, 2},
      {"MPEG-2 Layer I after a tag", {Mpeg::V2, 9, 0, 0, 3}, 312, tag, 1, 0, 144000, 22050, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MP3Info info = fromText(c.before + test::frames(c.header, c.frameBytes, 3));
    ASSERT_TRUE(info.valid());
    EXPECT_EQ(info.version(), c.version);
    EXPECT_EQ(info.layer(), c.layer);
    EXPECT_EQ(info.bitrate(), c.bitrate);
    EXPECT_EQ(info.sampleRate(), c.sampleRate);
    EXPECT_EQ(info.mode(), c.mode);
    EXPECT_EQ(info.channels(), c.channels);
    EXPECT_EQ(info.firstFrame(), static_cast<int>(c.before.size()));
  }
}

TEST(MP3Info, HeaderBitsAreKept) {
  std::string h = test::headerBytes({Mpeg::V1, 9, 0, 0, 1, /*padding=*/true});
  h[1] = static_cast<char>(h[1] & ~1);  // protection bit clear: a CRC follows
  h[2] = static_cast<char>(h[2] | 1);   // private bit
  h[3] = static_cast<char>(h[3] | 1);   // emphasis 50/15
  h.resize(418, '\0');                  // one whole frame, padding byte included, is the whole file
  MP3Info info = fromText(h);
  ASSERT_TRUE(info.valid());
  EXPECT_EQ(info.padding(), 1);
  EXPECT_EQ(info.protection(), 0);
  EXPECT_EQ(info.privateBit(), 1);
  EXPECT_EQ(info.emphasis(), 1);
}

TEST(MP3Info, FirstFrameFollowsTheID3v2Rules) {
  const std::string frame = test::frames(FrameHeader{}, 417, 4);
  struct Case {
    const char* name;
    std::string contents;
    bool valid;
    int firstFrame, id3v2Size;
  } cases[] = {
      {"no tag, frame at the start", frame, true, 0, 0},
      {"no tag, junk before the frame", std::string(77, 'x') + frame, true, 77, 0},
      {"4,096-byte tag, frame right after", test::id3v2Tag(4096) + frame, true, 4106, 4106},
      {"stray sync inside the tag's padding",
       [&] {
         std::string tag = test::id3v2Tag(4096);
         tag[2000] = '\xFF';
         tag[2001] = '\xFB';
         return tag + frame;
       }(),
       true, 4106, 4106},
      {"junk between the tag and the frame", test::id3v2Tag(50) + "junk" + frame, true, 64, 60},
      {"tag without any frame", test::id3v2Tag(50) + std::string(500, '\0'), false, 60, 60},
      {"RIFF header before the frame", "RIFF" + std::string(40, '\0') + frame, true, 44, 0},
      {"no sync at all", std::string(5000, 'a'), false, 0, 0},
      {"sync pair across a read piece", std::string(16383, 'a') + frame, true, 16383, 0},
      {"frame in the scan's last pair", std::string(99998, 'a') + frame, true, 99998, 0},
      {"frame just past the scan", std::string(99999, 'a') + frame, false, 0, 0},
      {"reserved version bits", "\xFF\xEA\x90\x00" + std::string(400, '\0'), false, 0, 0},
      {"tag larger than the scan", test::id3v2Tag(150000) + frame, true, 150010, 150010},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MP3Info info = fromText(c.contents);
    EXPECT_EQ(info.valid(), c.valid);
    EXPECT_EQ(info.firstFrame(), c.firstFrame);
    EXPECT_EQ(info.id3v2Size(), c.id3v2Size);
    EXPECT_EQ(info.hasID3v2(), c.id3v2Size != 0);
    if (!c.valid) {
      EXPECT_EQ(info.duration(), 0);
      EXPECT_EQ(info.bitrate(), -1);
      EXPECT_EQ(info.sampleRate(), 22050);
    }
  }
}

TEST(MP3Info, ConstantBitRateLengthRoundsHalvesUp) {
  struct Case {
    int audioBytes;
    int seconds;
  } cases[] = {{4000000, 250}, {4008000, 251}, {4007999, 250}, {7999, 0}, {8000, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.audioBytes);
    std::string contents = test::frames(FrameHeader{}, 417, 2);  // 128 kbit/s: 16,000 bytes a second
    contents.resize(c.audioBytes, '\0');
    MP3Info info = fromText(contents);
    ASSERT_TRUE(info.valid());
    EXPECT_EQ(info.audioBytes(), c.audioBytes);
    EXPECT_EQ(info.duration(), c.seconds);
    EXPECT_FALSE(info.vbr());
  }
  // After a tag the audio bytes start at the first frame.
  std::string tagged = test::id3v2Tag(990) + test::frames(FrameHeader{}, 417, 2);
  tagged.resize(1000 + 160000, '\0');
  EXPECT_EQ(fromText(tagged).audioBytes(), 160000);
  EXPECT_EQ(fromText(tagged).duration(), 10);
}

TEST(MP3Info, XingFramesGiveTheLengthFromTheFrameCount) {
  struct Case {
    const char* name;
    FrameHeader header;
    int frameBytes;
    size_t offset;
    uint32_t frames;
    bool withCount;
    int seconds;
  } cases[] = {
      {"MPEG-1 44.1k stereo, 1,000 frames", {Mpeg::V1, 9, 0, 1}, 417, 36, 1000, true, 26},
      {"MPEG-1 mono", {Mpeg::V1, 9, 0, 3}, 417, 21, 1000, true, 26},
      {"MPEG-2 24k stereo", {Mpeg::V2, 8, 1, 0}, 192, 21, 5000, true, 120},
      {"MPEG-2 mono", {Mpeg::V2, 8, 1, 3}, 192, 13, 5000, true, 120},
      {"MPEG-2.5 8k stereo", {Mpeg::V25, 4, 2, 0}, 288, 21, 1000, true, 72},
      {"no frame count", {Mpeg::V1, 9, 0, 1}, 417, 36, 0, false, 0},
      {"count beyond the file: what its bytes last at 32 kbit/s",
       {Mpeg::V1, 9, 0, 1},
       417,
       36,
       100000,
       true,
       50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string contents = test::xingFrame(c.header, c.frameBytes, c.offset, c.frames, c.withCount);
    contents += test::frames(c.header, c.frameBytes, 5);
    contents.resize(200000, '\0');  // room for every length but the last row's
    MP3Info info = fromText(contents);
    ASSERT_TRUE(info.valid());
    EXPECT_TRUE(info.vbr());
    EXPECT_EQ(info.duration(), c.seconds);
    EXPECT_EQ(info.formatInfo(), "Variable bitrate");
  }
  // "Xing" at the stereo offset of a mono frame is not a Xing header.
  std::string misplaced = test::xingFrame({Mpeg::V1, 9, 0, 3}, 417, 36, 1000);
  EXPECT_FALSE(fromText(misplaced).vbr());
}

TEST(MP3Info, InfoFrameOfConstantBitRateAudioGivesTheLength) {
  // An encoder's "Info" frame at 32 kbit/s in front of 24 kbit/s MPEG-2.5 audio: 1,000 frames
  // of 576 samples at 11,025 Hz last 52 s, while the first frame's rate would say 39 s.
  const FrameHeader info{Mpeg::V25, 4, 0, 0}, audio{Mpeg::V25, 3, 0, 0};
  std::string contents = test::xingFrame(info, 208, 21, 1000, true, "Info") + test::frames(audio, 156, 999);
  MP3Info facts = fromText(contents);
  ASSERT_TRUE(facts.valid());
  EXPECT_FALSE(facts.vbr());
  EXPECT_EQ(facts.bitrate(), 32000);
  EXPECT_EQ(facts.duration(), 52);
  EXPECT_EQ(facts.formatInfo(), "32 Kbps, 11025 hz, (stereo)");
  // Without a frame count the bit-rate rule stays.
  contents = test::xingFrame(info, 208, 21, 0, false, "Info") + test::frames(audio, 156, 999);
  EXPECT_EQ(fromText(contents).duration(), 39);
}

TEST(MP3Info, TruncatedAndHostileInputKeepsTheDefaults) {
  const std::string header = test::headerBytes(FrameHeader{});
  std::string xingCut = test::xingFrame(FrameHeader{}, 400, 36, 1000).substr(0, 44);  // count cut off
  struct Case {
    const char* name;
    std::string contents;
    bool valid;
  } cases[] = {
      {"empty file", "", false},
      {"one byte", "\xFF", false},
      {"sync at the very end", std::string(10, '\0') + "\xFF\xFB", false},
      {"header cut after three bytes", header.substr(0, 3), false},
      {"bare header", header, false},
      {"\"ID\" and nothing else", "ID", false},
      {"ID3v2 header cut short", "ID3\x03\x00", false},
      {"ID3v2 size far past the end", std::string("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + header, false},
      {"Xing name at the end of the data", test::xingFrame(FrameHeader{}, 400, 36, 9).substr(0, 40), false},
      {"Xing frame count cut off", xingCut, false},
      {"bit-rate index 15 is no rate", test::frames({Mpeg::V1, 15, 0, 0}, 400, 3), false},
      {"sample-rate index 3 is no rate", test::frames({Mpeg::V2, 5, 3, 0}, 400, 3), false},
      {"frames one byte short", test::frames(FrameHeader{}, 416, 50), false},
      {"20 kB of random bytes", randomBytes(20000), false},
      {"a WAV file of a sine", sineWav(), false},
      // 574 frames (15 s) are counted, 700 bytes are there.
      {"truncated Xing file", (test::xingFrame(FrameHeader{}, 417, 36, 574) + header).substr(0, 700), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MP3Info info = fromText(c.contents);
    EXPECT_EQ(info.valid(), c.valid);
    if (!c.valid) {
      EXPECT_EQ(info.bitrate(), -1);
      EXPECT_EQ(info.sampleRate(), 22050);
    }
    EXPECT_EQ(info.duration(), 0);
    EXPECT_FALSE(info.hasID3v1());
  }
}

TEST(MP3Info, ID3v1TagTexts) {
  const std::string audio = test::frames(FrameHeader{}, 417, 3);
  struct Case {
    const char* name;
    std::string tag;
    std::string title, artist, album, comment, genre;
    int year;
  } cases[] = {
      {"plain tag", test::id3v1Tag("Song", "Band", "Record", "1999", "2000 was later", 17), "Song", "Band",
       "Record", "2000 was later", "Rock", 1999},
      {"ampersands and trailing blanks",
       test::id3v1Tag("Rock & Roll \t\r\n", "A&B  ", "X & Y", "abcd", "c \n", 0), "Rock   Roll", "A B",
       "X   Y", "c", "Various", 0},
      {"fields filled to the last byte",
       test::id3v1Tag(std::string(30, 't'), std::string(30, 'a'), "", "", "", 125), std::string(30, 't'),
       std::string(30, 'a'), "", "", "Dance Hall", 0},
      {"genre 126", test::id3v1Tag("t", "a", "b", "", "", 126), "t", "a", "b", "", "Various", 0},
      {"genre 255", test::id3v1Tag("t", "a", "b", "", "", 255), "t", "a", "b", "", "Various", 0},
      {"genre 1", test::id3v1Tag("t", "a", "b", "", "", 1), "t", "a", "b", "", "Classic Rock", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MP3Info info = fromText(audio + c.tag);
    EXPECT_TRUE(info.hasID3v1());
    EXPECT_TRUE(info.valid());
    EXPECT_EQ(info.title(0), c.title.empty() ? " " : c.title);
    EXPECT_EQ(info.artist(), c.artist.empty() ? " " : c.artist);
    EXPECT_EQ(info.album(), c.album.empty() ? " " : c.album);
    EXPECT_EQ(info.comment(), c.comment);
    EXPECT_EQ(info.genre(), c.genre);
    EXPECT_EQ(info.year(), c.year);
  }
}

TEST(MP3Info, WithoutATagTheTitleIsTheFileName) {
  const std::pair<std::string, std::string> cases[] = {
      {"/music/Salt & Pepper.mp3", "Salt   Pepper.mp3"},
      {"plain.mp3", "plain.mp3"},
      // Only the first 30 characters lose their ampersands.
      {"/m/" + std::string(29, 'x') + "&&.mp3", std::string(29, 'x') + " &.mp3"},
      {"/m/" + std::string(200, 'n') + ".mp3", std::string(128, 'n')},
  };
  for (const auto& [path, title] : cases) {
    MP3Info info = fromText(test::frames(FrameHeader{}, 417, 2), path);
    EXPECT_EQ(info.title(0), title) << path;
    EXPECT_EQ(info.artist(), " ");
    EXPECT_FALSE(info.hasID3v1());
  }
  // A "TAG" in a file shorter than a tag is not a tag.
  EXPECT_FALSE(fromText("TAG" + std::string(100, 'x')).hasID3v1());
}

TEST(MP3Info, TitleDecoration) {
  const std::string audio = test::frames({Mpeg::V1, 9, 0, 3}, 417, 2);
  auto tagged = [&](const std::string& title, const std::string& artist) {
    return fromText(audio + test::id3v1Tag(title, artist, "", "", "", 0));
  };
  EXPECT_EQ(tagged(std::string(30, 'a'), "x").title(), std::string(30, 'a') + "...");
  EXPECT_EQ(tagged(std::string(29, 'a'), "x").title(), std::string(29, 'a'));
  EXPECT_EQ(tagged("abcdef", "x").title(6), "abcdef...");
  EXPECT_EQ(tagged("Song", "Band").displayTitle(), "Song (Band)");
  EXPECT_EQ(tagged("Song", "").displayTitle(), "Song  ");
  EXPECT_EQ(fromText(audio, "/m/a.mp3").displayTitle(), "a.mp3  ");
  EXPECT_EQ(fromText(audio, "/a/b/c d.mp3").fileName(), "c d.mp3");
}

TEST(MP3Info, ReadingAFileAgreesWithReadingItsBytes) {
  test::TempFolder folder;
  const std::string files[] = {
      test::id3v2Tag(300) + test::frames({Mpeg::V2, 8, 1, 3}, 192, 50) +
          test::id3v1Tag("T", "A", "B", "2001", "", 9),
      test::xingFrame(FrameHeader{}, 417, 36, 2000) + test::frames(FrameHeader{}, 417, 10),
      test::id3v2Tag(150000) + test::frames(FrameHeader{}, 417, 40),
      std::string(60, 'z'),
      "",
  };
  for (size_t i = 0; i < std::size(files); ++i) {
    std::string path = folder.file("f" + std::to_string(i) + ".mp3");
    folder.write("f" + std::to_string(i) + ".mp3", files[i]);
    MP3Info onDisk(path);
    MP3Info inMemory = MP3Info::fromBytes(path, bytesOf(files[i]));
    EXPECT_EQ(onDisk.valid(), inMemory.valid()) << i;
    EXPECT_EQ(onDisk.duration(), inMemory.duration()) << i;
    EXPECT_EQ(onDisk.firstFrame(), inMemory.firstFrame()) << i;
    EXPECT_EQ(onDisk.title(0), inMemory.title(0)) << i;
    EXPECT_EQ(onDisk.hasID3v1(), inMemory.hasID3v1()) << i;
  }
  MP3Info missing(folder.file("absent.mp3"));
  EXPECT_FALSE(missing.valid());
  EXPECT_EQ(missing.title(0), "absent.mp3");
  EXPECT_FALSE(MP3Info(folder.path()).valid());  // a folder is not a file
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(MP3Info, WritingATagAppendsOnceThenOverwrites) {
  test::TempFolder folder;
  const std::string audio = test::frames(FrameHeader{}, 417, 20);
  const std::string path = folder.file("song.mp3");
  folder.write("song.mp3", audio);

  MP3Info info(path);
  ASSERT_TRUE(info.writeID3v1("Artist", "Title", std::string("Album\0junk", 10)));
  std::string once = readAll(path);
  ASSERT_EQ(once.size(), audio.size() + 128);
  EXPECT_EQ(once.substr(0, audio.size()), audio);
  EXPECT_EQ(once.substr(audio.size()), test::id3v1Tag("Title", "Artist", "Album", "", "", 0));
  EXPECT_EQ(info.title(0), "Title");
  EXPECT_EQ(info.artist(), "Artist");
  EXPECT_EQ(info.album(), "Album");

  // The second write keeps year, comment and genre, and the length.
  folder.write("song.mp3", audio + test::id3v1Tag("Old", "Old", "Old", "1987", "kept", 17));
  MP3Info tagged(path);
  ASSERT_TRUE(tagged.writeID3v1(std::string(40, 'a'), "New", "Disc"));
  std::string twice = readAll(path);
  ASSERT_EQ(twice.size(), audio.size() + 128);
  EXPECT_EQ(twice.substr(0, audio.size()), audio);
  MP3Info reread(path);
  EXPECT_EQ(reread.title(0), "New");
  EXPECT_EQ(reread.artist(), std::string(30, 'a'));
  EXPECT_EQ(reread.year(), 1987);
  EXPECT_EQ(reread.comment(), "kept");
  EXPECT_EQ(reread.genre(), "Rock");

  // A "TAG" in a file shorter than a tag is no tag: the new one is appended.
  folder.write("tiny.mp3", "TAGtiny");
  ASSERT_TRUE(MP3Info(folder.file("tiny.mp3")).writeID3v1("a", "t", "b"));
  std::string tiny = readAll(folder.file("tiny.mp3"));
  EXPECT_EQ(tiny, "TAGtiny" + test::id3v1Tag("t", "a", "b", "", "", 0));
}

TEST(MP3Info, AFailedTagWriteLeavesTheFileAsItWas) {
  test::TempFolder folder;
  const std::string audio = test::frames(FrameHeader{}, 417, 10);
  folder.write("song.mp3", audio);

  EXPECT_FALSE(MP3Info(folder.file("absent.mp3")).writeID3v1("a", "t", "b"));
  EXPECT_FALSE(MP3Info(folder.path()).writeID3v1("a", "t", "b"));

  // The file may not grow: the append fails half way or at once, and nothing of it stays.
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit limit = old;
  limit.rlim_cur = audio.size() + 50;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  MP3Info info(folder.file("song.mp3"));
  bool written = info.writeID3v1("a", "t", "b");
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_FALSE(written);
  EXPECT_EQ(readAll(folder.file("song.mp3")), audio);
  EXPECT_EQ(info.title(0), "song.mp3");  // the texts stay those of the file

  if (geteuid() != 0) {  // root writes read-only files anyway
    chmod(folder.file("song.mp3").c_str(), 0444);
    EXPECT_FALSE(MP3Info(folder.file("song.mp3")).writeID3v1("a", "t", "b"));
    EXPECT_EQ(readAll(folder.file("song.mp3")), audio);
  }
}

}  // namespace
}  // namespace brovana
