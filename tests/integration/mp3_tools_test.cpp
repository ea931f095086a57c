// The MP3 reader against an independent decoder: files made by the lame and ffmpeg
// command-line encoders, facts compared with what ffprobe reports.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "playlist/mp3_info.h"
#include "support/child_process.h"
#include "support/journal.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

// The command's exit status and what it wrote to standard output and error.
std::pair<int, std::string> run(const std::string& command) {
  int status = -1;
  std::string text = test::commandOutput(command + " 2>&1", &status);
  return {status, text};
}

// ffprobe's value of one entry: "stream=sample_rate", "stream=channels" or "format=duration".
std::string probed(const std::string& path, const std::string& entry) {
  std::string text = run("ffprobe -v error -select_streams a:0 -show_entries " + entry +
                         " -of default=nw=1:nk=1 '" + path + "'")
                         .second;
  return text.substr(0, text.find('\n'));
}

const std::string kFfmpeg = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440:duration=";
const struct Made {
  const char* name;
  std::string command;  // {wav44m} {wav48s}: source WAVs; {out}: the MP3
  int version;          // MPEG-1 0, MPEG-2 1, MPEG-2.5 2
  bool vbr, id3v2, id3v1;
  const char* title;  // the ID3v1 title, when there is one
} kMade[] = {
    {"ffmpeg CBR MPEG-1 stereo, ID3v2",
     kFfmpeg + "7.3:sample_rate=44100 -ac 2 -c:a libmp3lame -b:a 128k {out}", 0, false, true, false, nullptr},
    {"ffmpeg CBR MPEG-2 mono, both tags, no Info frame",  // ffmpeg writes ID3v1 only beside ID3v2
     kFfmpeg + "12.6:sample_rate=22050 -ac 1 -c:a libmp3lame -b:a 32k -write_xing 0 -write_id3v1 1 "
               "-metadata title=Integration -metadata artist=Tester {out}",
     1, false, true, true, "Integration"},
    {"ffmpeg CBR MPEG-2.5 8 kHz mono, no tags",
     kFfmpeg + "20.2:sample_rate=8000 -ac 1 -c:a libmp3lame -b:a 8k -id3v2_version 0 -write_xing 0 {out}", 2,
     false, false, false, nullptr},
    {"lame VBR MPEG-2 mono (Xing), both tags",
     "lame --quiet -V 6 --resample 22.05 -m m --add-id3v2 --tt 'Rock & Roll' --ta Band --tl Disc --ty 2001 "
     "--tg Rock {wav44m} {out}",
     1, true, true, true, "Rock   Roll"},
    {"lame CBR MPEG-1 48 kHz stereo, ID3v1", "lame --quiet -b 192 --id3v1-only --tt Concert {wav48s} {out}",
     0, false, false, true, "Concert"},
};

class Mp3Tools : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (auto [name, format] : {std::pair{"44m", "-r 44100 -c 1"}, {"48s", "-r 48000 -c 2"}})
      ASSERT_EQ(run("sox -n " + std::string(format) + " -b 16 " + folder->file(name) +
                    ".wav synth 9.4 sine 330 sine 550")
                    .first,
                0);
  }
  static std::string make(size_t index) {
    std::string out = folder->file("made" + std::to_string(index) + ".mp3");
    auto [status, text] = run(test::fillIn(
        kMade[index].command,
        {{"{wav44m}", folder->file("44m.wav")}, {"{wav48s}", folder->file("48s.wav")}, {"{out}", out}}));
    EXPECT_EQ(status, 0) << kMade[index].command << "\n" << text;
    return out;
  }
  inline static std::unique_ptr<test::TempFolder> folder = std::make_unique<test::TempFolder>();
};

TEST_F(Mp3Tools, FactsAgreeWithFfprobe) {
  for (size_t i = 0; i < std::size(kMade); ++i) {
    const Made& m = kMade[i];
    SCOPED_TRACE(m.name);
    std::string path = make(i);
    double duration = std::atof(probed(path, "format=duration").c_str());
    ASSERT_GT(duration, 1.0);
    MP3Info info(path);
    ASSERT_TRUE(info.valid());
    EXPECT_EQ(std::to_string(info.sampleRate()), probed(path, "stream=sample_rate"));
    EXPECT_EQ(std::to_string(info.channels()), probed(path, "stream=channels"));
    EXPECT_LE(std::fabs(info.duration() - duration), 1.0)
        << "ours " << info.duration() << " s, ffprobe " << duration;
    EXPECT_EQ(std::tuple(info.version(), info.layer(), info.vbr(), info.hasID3v2(), info.hasID3v1()),
              std::tuple(m.version, 2, m.vbr, m.id3v2, m.id3v1));
    EXPECT_TRUE(!m.id3v2 || info.firstFrame() >= info.id3v2Size()) << "the audio starts after the tag";
    EXPECT_TRUE(!m.title || info.title(0) == m.title) << info.title(0);
  }
}

#ifdef BROVANA_LIVE_BINARY
// One line a file, the unreadable one too (the texts' and the first facts' output is the tag
// dialog's test).
TEST_F(Mp3Tools, ProbeCommandPrintsOneLinePerFile) {
  auto [status, text] =
      run(std::string(BROVANA_LIVE_BINARY) + " --probe '" + make(3) + "' /nonexistent/file.mp3");
  EXPECT_EQ(status, 1) << text;
  EXPECT_TRUE(test::inOrder(text, {"\"vbr\":true", "\"year\":2001,\"genre\":\"Rock\"}\n",
                                   "/nonexistent/file.mp3", "\"valid\":false"}));
}
#endif

}  // namespace
}  // namespace brovana
