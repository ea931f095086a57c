// A music library of every format, read and decoded by the studio's own readers: files made by
// ffmpeg at test time, and damaged ones made from them.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/ebur128_meter.h"
#include "platform/taglib_track_reader.h"
#include "platform/track_decoder.h"
#include "playlist/mp3_info.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

// Decodes the file as the engine does, a minute of it at most; the seconds it gave, or -1 when it
// would not open.
double decodedSeconds(const std::string& path) {
  TrackDecoder decoder;
  if (decoder.createInput(path) != kDecoderOk || decoder.openInput() != kDecoderOk) return -1;
  long long samples = 0;
  for (int steps = 0; steps < 100000; ++steps) {
    DecodeStatus status = decoder.decode();
    if (status == DecodeStatus::Block || status == DecodeStatus::LastBlock) samples += decoder.block().size();
    if (samples > 60LL * decoder.format().sampleRate * decoder.format().channels) break;
    if (status == DecodeStatus::LastBlock || status == DecodeStatus::Error) break;
  }
  PcmFormat format = decoder.format();
  decoder.closeInput();
  return format.valid() ? static_cast<double>(samples) / format.channels / format.sampleRate : -1;
}

void cutTo(const std::string& path, double share) {
  std::filesystem::resize_file(path, static_cast<uintmax_t>(std::filesystem::file_size(path) * share));
}

void spoil(const std::string& path, double at, size_t bytes) {
  std::string data = test::readFile(path);
  size_t from = static_cast<size_t>(data.size() * at);
  for (size_t i = from; i < from + bytes && i < data.size(); ++i) data[i] = static_cast<char>(data[i] ^ 0x5A);
  std::ofstream(path, std::ios::binary) << data;
}

// The WAV grown to just under 4 GiB of audio (silence after its tone, a sparse file), its header
// telling the truth.
void growTo4GiB(const std::string& path) {
  std::string head = test::readFile(path).substr(0, 4096);
  const size_t data = head.find("data");
  ASSERT_NE(data, std::string::npos);
  const uint32_t size = 0xFFFF0000u;
  std::filesystem::resize_file(path, size);
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  auto put = [&](size_t at, uint32_t value) {
    const char bytes[] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    file.seekp(static_cast<std::streamoff>(at)).write(bytes, 4);
  };
  put(4, size - 8);
  put(data + 4, static_cast<uint32_t>(size - data - 8));
}

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { installTrackReader(&reader); }
  void TearDown() override { installTrackReader(nullptr); }

  std::string tone(const std::string& name) {
    std::string path = folder.file(name);
    EXPECT_TRUE(test::makeLibraryTone(
        path, {.seconds = 4, .title = "Tone", .artist = "Test", .album = "Library", .volume = 0.3}));
    return path;
  }

  TagLibTrackReader reader;
  test::TempFolder folder;
};

// Each format is listed with its facts and tags (ID3v2 for the MP3) and decodes to its length; a
// damaged file plays as far as it decodes, and one that holds no audio says why.
TEST_F(LibraryTest, EveryFormatIsReadAndDecodedAndDamagedFilesPlayAsFarAsTheyGo) {
  struct Case {
    std::string name, format;
    std::function<std::string()> make;
    double fromSeconds, toSeconds;  // decoded; -1 for a file that does not open
    bool tagged = true;
    int listedSeconds = 4;
  };
  auto damaged = [&](const std::string& made, const std::string& name,
                     std::function<void(std::string)> harm) {
    return [=, this] {
      std::string path = folder.file(name);
      std::filesystem::rename(tone(made), path);
      harm(path);
      return path;
    };
  };
  const Case cases[] = {
      {"tone.flac", "FLAC", [&] { return tone("tone.flac"); }, 3.9, 4.1},
      {"tone.ogg", "Ogg Vorbis", [&] { return tone("tone.ogg"); }, 3.9, 4.1},
      {"tone.opus", "Opus", [&] { return tone("tone.opus"); }, 3.9, 4.1},
      {"tone.wav", "WAV", [&] { return tone("tone.wav"); }, 3.9, 4.1, false},
      {"tone.aiff", "AIFF", [&] { return tone("tone.aiff"); }, 3.9, 4.1, false},
      {"tone.mp3", "MP3", [&] { return tone("tone.mp3"); }, 3.9, 4.2},
      {"flac named.mp3", "FLAC", damaged("a.flac", "flac named.mp3", [](auto) {}), 3.9, 4.1},
      {"truncated.flac", "FLAC", damaged("b.flac", "truncated.flac", [](auto p) { cutTo(p, 0.5); }), 1, 3},
      {"broken page.ogg", "Ogg Vorbis",
       damaged("c.ogg", "broken page.ogg", [](auto p) { spoil(p, 0.5, 64); }), 0.5, 4.1},
      {"lying.wav", "WAV", damaged("d.wav", "lying.wav", [](auto p) { cutTo(p, 0.25); }), 0.5, 1.5, false},
      {"4 GiB.wav", "WAV", damaged("e.wav", "4 GiB.wav", growTo4GiB), 59, 61, false, 24348},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = c.make();
    MP3Info info(path);
    EXPECT_TRUE(info.valid()) << info.problem();
    EXPECT_EQ(info.formatName(), c.format);
    if (c.listedSeconds > 4) {
      EXPECT_EQ(info.duration(), c.listedSeconds);  // 4 GiB of 44.1 kHz stereo
    }
    if (c.tagged) {
      EXPECT_EQ(info.title() + "|" + info.album(), "Tone|Library");
    }
    double seconds = decodedSeconds(path);
    EXPECT_GE(seconds, c.fromSeconds);
    EXPECT_LE(seconds, c.toSeconds);
  }
  folder.write("notes.flac", std::string(5000, 'n'));
  MP3Info notes(folder.file("notes.flac"));
  EXPECT_FALSE(notes.valid());
  EXPECT_FALSE(notes.problem().empty());
  EXPECT_EQ(decodedSeconds(folder.file("notes.flac")), -1);
}

// The tag editor writes each format's own tag, for an MP3 the ID3v1 tag (and the ID3v2 tag it
// has), and a new reading finds the texts.
TEST_F(LibraryTest, TheTagEditorWritesEachFormatsOwnTag) {
  for (const char* name : {"edit.flac", "edit.opus", "edit.mp3"}) {
    SCOPED_TRACE(name);
    std::string path = tone(name);
    ASSERT_TRUE(MP3Info(path).writeTag("New Artist", "New Title", "New Album"));
    MP3Info again(path);
    EXPECT_TRUE(again.hasTag());
    EXPECT_EQ(again.title() + "|" + again.artist() + "|" + again.album(), "New Title|New Artist|New Album");
    EXPECT_EQ(again.hasID3v1(), std::string(name) == "edit.mp3");
  }
}

// Counts the files it measures.
struct CountingMeter final : LoudnessMeter {
  std::optional<Loudness> measure(const std::string& path, const std::atomic<bool>& stop) override {
    ++measured;
    return meter.measure(path, stop);
  }
  EbuR128Meter meter;
  std::atomic<int> measured{0};
};

// Tones of three loudness levels are measured once in the background, the figures outliving the
// run in the cache; a damaged cache or one of another version is measured again. The gains
// bring each to the target, unless the true peak would pass -1 dBTP.
TEST_F(LibraryTest, LoudnessIsMeasuredOnceAndCachedAndABadCacheIsRebuilt) {
  const double levels[] = {-30, -20, -10};
  std::vector<PlaylistItemRef> tracks;
  for (double lufs : levels) {
    std::string path = folder.file("tone" + std::to_string(int(lufs)) + ".flac");
    ASSERT_TRUE(
        test::makeLibraryTone(path, {.frequency = 997, .seconds = 5, .volume = std::pow(10, lufs / 20)}));
    tracks.push_back(PlaylistItem::make(path));
  }
  const std::string cache = folder.file("cache/loudness.cache");
  for (std::string bad :
       {"brovana-live loudness 0\n", "brovana-live loudness 1\n12 x\n\x01\x02 3 4 5\tnot/abs\n"}) {
    SCOPED_TRACE(bad);
    folder.write("cache/loudness.cache", bad);
    for (const PlaylistItemRef& t : tracks) t->setLoudness(1e9);
    CountingMeter meter;
    for (int run = 0; run < 2; ++run) {
      LoudnessLibrary library(meter, cache);
      library.request(tracks);
      ASSERT_TRUE(library.waitIdle(std::chrono::seconds(60)));
      for (size_t i = 0; i < tracks.size(); ++i) {
        std::optional<Loudness> l = library.find(tracks[i]->fullpath());
        ASSERT_TRUE(l.has_value());
        EXPECT_NEAR(l->integratedLufs, levels[i], 1.0);
        double gain = trackGainDb({.mode = NormalizeMode::Track, .targetLufs = -16}, {l, std::nullopt});
        EXPECT_NEAR(gain, std::min(-16 - levels[i], -1 - l->truePeakDbtp), 0.01);
      }
    }
    EXPECT_EQ(meter.measured.load(), 3);
  }
  EXPECT_TRUE(folder.read("cache/loudness.cache").starts_with("brovana-live loudness 1\n"));
}

}  // namespace
}  // namespace brovana
