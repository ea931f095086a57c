#include "playlist/mp3_info.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "support/mp3_bytes.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using test::FrameHeader;
using test::Mpeg;

MP3Info fromText(const std::string& contents, std::string path = "/music/track.mp3") {
  return MP3Info::fromBytes(std::move(path),
                            {reinterpret_cast<const uint8_t*>(contents.data()), contents.size()});
}

std::string randomBytes(size_t n) {
  std::string bytes(n, '\0');
  uint32_t state = 12345;
  for (char& b : bytes) b = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
  return bytes;
}

TEST(MP3Info, FirstFrameFollowsTheID3v2Rules) {
  const std::string frame = test::frames(FrameHeader{}, 417, 4);
  std::string straySync = test::id3v2Tag(4096);
  straySync.replace(2000, 2, "\xFF\xFB");
  const std::tuple<const char*, std::string, bool, int, int> cases[] = {
      {"no tag, junk before the frame", std::string(77, 'x') + frame, true, 77, 0},
      {"stray sync inside the tag's padding", straySync + frame, true, 4106, 4106},
      {"junk between the tag and the frame", test::id3v2Tag(50) + "junk" + frame, true, 64, 60},
      {"tag without any frame", test::id3v2Tag(50) + std::string(500, '\0'), false, 60, 60},
      {"RIFF header before the frame", "RIFF" + std::string(40, '\0') + frame, true, 44, 0},
      {"sync pair across a read piece", std::string(16383, 'a') + frame, true, 16383, 0},
      {"frame in the scan's last pair", std::string(99998, 'a') + frame, true, 99998, 0},
      {"frame just past the scan", std::string(99999, 'a') + frame, false, 0, 0},
      {"reserved version bits", "\xFF\xEA\x90\x00" + std::string(400, '\0'), false, 0, 0},
      {"tag larger than the scan", test::id3v2Tag(150000) + frame, true, 150010, 150010},
  };
  for (const auto& [name, contents, valid, firstFrame, id3v2Size] : cases) {
    MP3Info info = fromText(contents);
    EXPECT_EQ(std::tuple(info.valid(), info.firstFrame(), info.id3v2Size(), info.hasID3v2()),
              std::tuple(valid, firstFrame, id3v2Size, id3v2Size != 0))
        << name;
    EXPECT_TRUE(valid ||
                std::tuple(info.duration(), info.bitrate(), info.sampleRate()) == std::tuple(0, -1, 22050))
        << name;
  }
}

TEST(MP3Info, LengthFromTheBitRateOrTheXingFrameCount) {
  // 128 kbit/s: 16,000 bytes a second, rounded half up; after a tag the audio starts at the frame.
  for (auto [before, audioBytes, seconds] :
       {std::tuple{0, 4008000, 251}, {0, 4007999, 250}, {1000, 160000, 10}}) {
    std::string contents = (before ? test::id3v2Tag(before - 10) : "") + test::frames(FrameHeader{}, 417, 2);
    contents.resize(before + audioBytes, '\0');
    MP3Info info = fromText(contents);
    EXPECT_EQ(std::tuple(info.valid(), info.audioBytes(), info.duration(), info.vbr()),
              std::tuple(true, audioBytes, seconds, false))
        << audioBytes;
  }
  const std::tuple<FrameHeader, int, size_t, uint32_t, bool, int> xing[] = {
      // header, frame bytes, offset of the Xing header, frames, with the count, seconds; a
      // count is bounded by the file: 200,000 bytes at 32 kbit/s last no more than 50 s
      {{Mpeg::V1, 9, 0, 1}, 417, 36, 0, false, 0},
      {{Mpeg::V1, 9, 0, 1}, 417, 36, 100000, true, 50},
  };
  for (const auto& [header, bytes, offset, frames, withCount, seconds] : xing) {
    std::string file =
        test::xingFrame(header, bytes, offset, frames, withCount) + test::frames(header, bytes, 5);
    file.resize(200000, '\0');
    MP3Info info = fromText(file);
    EXPECT_EQ(std::tuple(info.vbr(), info.duration(), info.formatInfo()),
              std::tuple(true, seconds, "Variable bitrate"))
        << offset << " " << frames;
  }
  // "Xing" at the stereo offset of a mono frame is not a Xing header.
  EXPECT_FALSE(fromText(test::xingFrame({Mpeg::V1, 9, 0, 3}, 417, 36, 1000)).vbr());

  // An encoder's "Info" frame at 32 kbit/s in front of 24 kbit/s MPEG-2.5 audio: 1,000 frames
  // of 576 samples at 11,025 Hz last 52 s, while the first frame's rate would say 39 s; without
  // a frame count the bit-rate rule stays.
  const FrameHeader info{Mpeg::V25, 4, 0, 0}, audio{Mpeg::V25, 3, 0, 0};
  MP3Info facts =
      fromText(test::xingFrame(info, 208, 21, 1000, true, "Info") + test::frames(audio, 156, 999));
  EXPECT_EQ(std::tuple(facts.vbr(), facts.bitrate(), facts.duration(), facts.formatInfo()),
            std::tuple(false, 32000, 52, "32 Kbps, 11025 hz, (stereo)"));
  EXPECT_EQ(
      fromText(test::xingFrame(info, 208, 21, 0, false, "Info") + test::frames(audio, 156, 999)).duration(),
      39);
}

TEST(MP3Info, TruncatedAndHostileInputKeepsTheDefaults) {
  const std::string header = test::headerBytes(FrameHeader{});
  const std::pair<std::string, bool> cases[] = {
      {"", false},
      {"\xFF", false},
      {header, false},
      {std::string("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + header, false},  // tag size far past the end
      {test::xingFrame(FrameHeader{}, 400, 36, 1000).substr(0, 44), false},  // frame count cut off
      {test::frames({Mpeg::V1, 15, 0, 0}, 400, 3), false},                   // bit-rate index 15 is no rate
      {test::frames(FrameHeader{}, 416, 50), false},                         // frames one byte short
      {randomBytes(20000), false},
      {"RIFF" + std::string(40, '\0') + randomBytes(200000), false},  // a WAV of noise
      // 574 frames (15 s) are counted, 700 bytes are there.
      {(test::xingFrame(FrameHeader{}, 417, 36, 574) + header).substr(0, 700), true},
  };
  for (const auto& [contents, valid] : cases) {
    MP3Info info = fromText(contents);
    EXPECT_EQ(info.valid(), valid) << contents.size();
    EXPECT_TRUE(valid || (info.bitrate() == -1 && info.sampleRate() == 22050)) << contents.size();
    EXPECT_EQ(info.duration(), 0);
    EXPECT_FALSE(info.hasID3v1());
  }
}

TEST(MP3Info, TagTextsAndTitles) {
  const std::string audio = test::frames(FrameHeader{}, 417, 3);
  using Texts = std::vector<std::string>;
  const std::pair<std::string, Texts> tagged[] = {
      // title, artist, album, comment, genre, year; title(), displayTitle()
      {test::id3v1Tag("Song", "Band", "Record", "1999", "2000 was later", 17),
       {"Song", "Band", "Record", "2000 was later", "Rock", "1999", "Song", "Song (Band)"}},
      {test::id3v1Tag("Rock & Roll \t\r\n", "A&B  ", "X & Y", "abcd", "c \n", 0),
       {"Rock   Roll", "A B", "X   Y", "c", "Various", "0", "Rock   Roll", "Rock   Roll (A B)"}},
      {test::id3v1Tag(std::string(30, 't'), std::string(30, 'a'), "", "", "", 125),
       {std::string(30, 't'), std::string(30, 'a'), " ", "", "Dance Hall", "0", std::string(30, 't') + "...",
        std::string(30, 't') + "... (" + std::string(30, 'a') + ")"}},
      {test::id3v1Tag("t", "", "b", "", "", 255), {"t", " ", "b", "", "Various", "0", "t", "t  "}},
  };
  for (const auto& [tag, texts] : tagged) {
    MP3Info info = fromText(audio + tag);
    EXPECT_TRUE(info.hasID3v1() && info.valid());
    EXPECT_EQ((Texts{info.title(0), info.artist(), info.album(), info.comment(), info.genre(),
                     std::to_string(info.year()), info.title(), info.displayTitle()}),
              texts);
  }
  EXPECT_EQ(fromText(audio + test::id3v1Tag("abcdef", "x", "", "", "", 0)).title(6), "abcdef...");
  // Without a tag the title is the file name; only its first 30 characters lose their ampersands.
  const std::pair<std::string, std::string> untagged[] = {
      {"/music/Salt & Pepper.mp3", "Salt   Pepper.mp3"},
      {"/m/" + std::string(29, 'x') + "&&.mp3", std::string(29, 'x') + " &.mp3"},
      {"/m/" + std::string(200, 'n') + ".mp3", std::string(128, 'n')},
  };
  for (const auto& [path, title] : untagged) {
    MP3Info info = fromText(audio, path);
    EXPECT_EQ(std::tuple(info.title(0), info.artist(), info.hasID3v1()), std::tuple(title, " ", false))
        << path;
  }
  EXPECT_EQ(fromText(audio, "/a/b/c d.mp3").displayTitle(), "c d.mp3  ");
  // A "TAG" in a file shorter than a tag is not a tag.
  EXPECT_FALSE(fromText("TAG" + std::string(100, 'x')).hasID3v1());
}

TEST(MP3Info, WritingATagAppendsOnceThenOverwritesKeepingTheRest) {
  test::TempFolder folder;
  const std::string audio = test::frames(FrameHeader{}, 417, 20), path = folder.file("song.mp3");
  folder.write("song.mp3", audio);
  MP3Info info(path);
  ASSERT_TRUE(info.writeID3v1("Artist", "Title", std::string("Album\0junk", 10)));
  EXPECT_EQ(folder.read("song.mp3"), audio + test::id3v1Tag("Title", "Artist", "Album", "", "", 0));
  EXPECT_EQ(std::tuple(info.title(0), info.artist(), info.album()), std::tuple("Title", "Artist", "Album"));

  // The second write keeps year, comment and genre, and the length.
  folder.write("song.mp3", audio + test::id3v1Tag("Old", "Old", "Old", "1987", "kept", 17));
  ASSERT_TRUE(MP3Info(path).writeID3v1(std::string(40, 'a'), "New", "Disc"));
  EXPECT_EQ(folder.read("song.mp3"),
            audio + test::id3v1Tag("New", std::string(30, 'a'), "Disc", "1987", "kept", 17));

  // A "TAG" in a file shorter than a tag is no tag: the new one is appended.
  folder.write("tiny.mp3", "TAGtiny");
  ASSERT_TRUE(MP3Info(folder.file("tiny.mp3")).writeID3v1("a", "t", "b"));
  EXPECT_EQ(folder.read("tiny.mp3"), "TAGtiny" + test::id3v1Tag("t", "a", "b", "", "", 0));
}

TEST(MP3Info, AFailedTagWriteLeavesTheFileAsItWas) {
  test::TempFolder folder;
  const std::string audio = test::frames(FrameHeader{}, 417, 10);
  folder.write("song.mp3", audio);
  MP3Info missing(folder.file("absent.mp3"));
  EXPECT_EQ(std::tuple(missing.valid(), missing.title(0)), std::tuple(false, "absent.mp3"));
  EXPECT_FALSE(MP3Info(folder.path()).valid());  // a folder is not a file
  EXPECT_FALSE(missing.writeID3v1("a", "t", "b"));
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
  EXPECT_EQ(folder.read("song.mp3"), audio);
  EXPECT_EQ(info.title(0), "song.mp3");  // the texts stay those of the file
}

}  // namespace
}  // namespace brovana
