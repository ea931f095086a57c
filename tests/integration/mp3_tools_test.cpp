// The MP3 reader against an independent decoder: files made by the lame and ffmpeg
// command-line encoders, facts compared with what ffprobe reports.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "playlist/mp3_info.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

struct Output {
  int status = -1;
  std::string text;
};

Output run(const std::string& command) {
  Output out;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, n);
  int status = ::pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

struct Probed {
  int sampleRate = 0;
  int channels = 0;
  double duration = -1;
};

Probed ffprobe(const std::string& path) {
  Output out =
      run("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels:format=duration "
          "-of default=noprint_wrappers=1 '" +
          path + "'");
  std::string text = "\n" + out.text;
  auto value = [&](const std::string& key) {
    size_t at = text.find("\n" + key + "=");
    return at == std::string::npos ? -1.0 : std::atof(text.c_str() + at + key.size() + 2);
  };
  return {static_cast<int>(value("sample_rate")), static_cast<int>(value("channels")), value("duration")};
}

struct Made {
  const char* name;
  std::string command;  // {wav44} {wav48}: source WAVs; {out}: the MP3
  int version;          // MPEG-1 0, MPEG-2 1, MPEG-2.5 2
  bool vbr;
  bool id3v2;
  bool id3v1;
  const char* title;  // the ID3v1 title, when there is one
};

std::string expand(std::string command, const test::TempFolder& folder, const std::string& out) {
  for (auto [key, value] : {std::pair<std::string, std::string>{"{wav44s}", folder.file("tone44s.wav")},
                            {"{wav44m}", folder.file("tone44m.wav")},
                            {"{wav48s}", folder.file("tone48s.wav")},
                            {"{out}", out}}) {
    for (size_t at; (at = command.find(key)) != std::string::npos;) command.replace(at, key.size(), value);
  }
  return command;
}

const std::string kFfmpeg = "ffmpeg -hide_banner -loglevel error -y ";
const std::string kSine = "-f lavfi -i sine=frequency=440:duration=";

const Made kMade[] = {
    {"ffmpeg CBR MPEG-1 stereo, ID3v2",
     kFfmpeg + kSine + "7.3:sample_rate=44100 -ac 2 -c:a libmp3lame -b:a 128k {out}", 0, false, true, false,
     nullptr},
    {"ffmpeg CBR MPEG-2 mono, both tags, no Info frame",  // ffmpeg writes ID3v1 only beside ID3v2
     kFfmpeg + kSine +
         "12.6:sample_rate=22050 -ac 1 -c:a libmp3lame -b:a 32k -write_xing 0 "
         "-write_id3v1 1 -metadata title=Integration -metadata artist=Tester {out}",
     1, false, true, true, "Integration"},
    {"ffmpeg CBR MPEG-2.5 stereo",
     kFfmpeg + kSine + "9.9:sample_rate=11025 -ac 2 -c:a libmp3lame -b:a 24k {out}", 2, false, true, false,
     nullptr},
    {"ffmpeg CBR MPEG-2.5 8 kHz mono, no tags",
     kFfmpeg + kSine +
         "20.2:sample_rate=8000 -ac 1 -c:a libmp3lame -b:a 8k -id3v2_version 0 -write_xing 0 {out}",
     2, false, false, false, nullptr},
    {"ffmpeg VBR MPEG-1 mono (Xing)",
     kFfmpeg + kSine + "8.8:sample_rate=48000 -ac 1 -c:a libmp3lame -q:a 4 {out}", 0, true, true, false,
     nullptr},
    {"lame VBR MPEG-1 stereo (Xing)", "lame --quiet -V 4 {wav44s} {out}", 0, true, false, false, nullptr},
    {"lame VBR MPEG-2 mono (Xing), both tags",
     "lame --quiet -V 6 --resample 22.05 -m m --add-id3v2 --tt 'Rock & Roll' --ta Band --tl Disc --ty 2001 "
     "--tg Rock {wav44m} {out}",
     1, true, true, true, "Rock   Roll"},
    {"lame VBR MPEG-2.5 mono (Xing)", "lame --quiet -V 7 --resample 8 -m m {wav44m} {out}", 2, true, false,
     false, nullptr},
    {"lame CBR MPEG-1 48 kHz stereo, ID3v1", "lame --quiet -b 192 --id3v1-only --tt Concert {wav48s} {out}",
     0, false, false, true, "Concert"},
    {"lame CBR MPEG-2 16 kHz mono", "lame --quiet -b 32 --resample 16 -m m {wav44m} {out}", 1, false, false,
     false, nullptr},
};

class Mp3Tools : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<test::TempFolder>();
    for (auto [name, rate, channels, seconds] : {std::tuple{"tone44s.wav", 44100, 2, "9.4"},
                                                 {"tone44m.wav", 44100, 1, "11.7"},
                                                 {"tone48s.wav", 48000, 2, "6.2"}}) {
      Output out = run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 '" +
                       folder_->file(name) + "' synth " + seconds + " sine 330 sine 550");
      ASSERT_EQ(out.status, 0) << out.text;
    }
  }
  static void TearDownTestSuite() { folder_.reset(); }

  static std::string make(const Made& m, int index) {
    std::string out = folder_->file("made" + std::to_string(index) + ".mp3");
    Output result = run(expand(m.command, *folder_, out));
    EXPECT_EQ(result.status, 0) << m.command << "\n" << result.text;
    return out;
  }

  static std::unique_ptr<test::TempFolder> folder_;
};

std::unique_ptr<test::TempFolder> Mp3Tools::folder_;

TEST_F(Mp3Tools, FactsAgreeWithFfprobe) {
  for (size_t i = 0; i < std::size(kMade); ++i) {
    const Made& m = kMade[i];
    SCOPED_TRACE(m.name);
    std::string path = make(m, static_cast<int>(i));
    Probed expected = ffprobe(path);
    ASSERT_GT(expected.sampleRate, 0);
    ASSERT_GT(expected.duration, 1.0);

    MP3Info info(path);
    ASSERT_TRUE(info.valid());
    EXPECT_EQ(info.sampleRate(), expected.sampleRate);
    EXPECT_EQ(info.channels(), expected.channels);
    EXPECT_LE(std::fabs(info.duration() - expected.duration), 1.0)
        << "ours " << info.duration() << " s, ffprobe " << expected.duration << " s";
    EXPECT_EQ(info.version(), m.version);
    EXPECT_EQ(info.layer(), 2);
    EXPECT_EQ(info.vbr(), m.vbr);
    EXPECT_EQ(info.hasID3v2(), m.id3v2);
    EXPECT_EQ(info.hasID3v1(), m.id3v1);
    if (m.id3v2) {
      EXPECT_GT(info.id3v2Size(), 10);
      EXPECT_GE(info.firstFrame(), info.id3v2Size());
    }
    if (m.title) {
      EXPECT_EQ(info.title(0), m.title);
    }
  }
}

TEST_F(Mp3Tools, TagWrittenByUsIsReadByFfprobe) {
  std::string path = make(kMade[5], 100);
  MP3Info info(path);
  ASSERT_TRUE(info.writeID3v1("Our Artist", "Our Title", "Our Album"));
  Output tags =
      run("ffprobe -v error -show_entries format_tags=title,artist,album -of default=noprint_wrappers=1 '" +
          path + "'");
  EXPECT_NE(tags.text.find("TAG:title=Our Title"), std::string::npos) << tags.text;
  EXPECT_NE(tags.text.find("TAG:artist=Our Artist"), std::string::npos) << tags.text;
  // The audio is untouched: ffprobe still sees the same stream and length.
  Probed after = ffprobe(path);
  EXPECT_EQ(after.sampleRate, 44100);
  EXPECT_LE(std::fabs(MP3Info(path).duration() - after.duration), 1.0);
}

#ifdef BROVANA_LIVE_BINARY
TEST_F(Mp3Tools, ProbeCommandPrintsOneLinePerFile) {
  std::string a = make(kMade[1], 300), b = make(kMade[6], 301);
  Output out = run(std::string(BROVANA_LIVE_BINARY) + " --probe '" + a + "' '" + b + "'");
  EXPECT_EQ(out.status, 0) << out.text;
  size_t newline = out.text.find('\n');
  ASSERT_NE(newline, std::string::npos);
  std::string first = out.text.substr(0, newline), second = out.text.substr(newline + 1);
  EXPECT_NE(first.find("\"path\":\"" + a + "\""), std::string::npos) << first;
  EXPECT_NE(first.find("\"sampleRate\":" + std::to_string(ffprobe(a).sampleRate) + ","), std::string::npos)
      << first;
  EXPECT_NE(first.find("\"channels\":1,"), std::string::npos) << first;
  EXPECT_NE(first.find("\"title\":\"Integration\""), std::string::npos) << first;
  EXPECT_NE(second.find("\"vbr\":true"), std::string::npos) << second;
  EXPECT_NE(second.find("\"year\":2001,\"genre\":\"Rock\"}"), std::string::npos) << second;

  Output missing = run(std::string(BROVANA_LIVE_BINARY) + " --probe /nonexistent/file.mp3");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.text.find("\"valid\":false"), std::string::npos) << missing.text;
}
#endif

}  // namespace
}  // namespace brovana
