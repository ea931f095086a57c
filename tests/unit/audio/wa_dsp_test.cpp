// The DSP plug-in host with real plug-in libraries built for the tests (dsp_test_plugin.cpp).

#include "audio/wa_dsp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/dl_loader.h"
#include "support/fake_prompts.h"
#include "support/log_tail.h"
#include "support/temp_folder.h"
#include "winamp_dsp.h"

namespace brovana {
namespace {

namespace fs = std::filesystem;

std::string plugin(const std::string& kind) {
  return std::string(TEST_PLUGIN_DIR) + "/" + kind + ".so";
}

// The test's own hold on a plug-in library: it stays loaded after the host lets it go, and its
// journal of calls can be read.
class Probe {
 public:
  explicit Probe(const std::string& path) : library_(DlLoader().load(path, error_)) {}
  std::string journal() {
    return reinterpret_cast<const char* (*)()>(library_->symbol("testPluginJournal"))();
  }
  winampDSPModule* module() {
    return reinterpret_cast<winampDSPModule* (*)()>(library_->symbol("testPluginModule"))();
  }

 private:
  std::string error_;
  std::unique_ptr<DspLibrary> library_;
};

std::vector<int16_t> run(WADsp& host, std::vector<int16_t> block, int* frames = nullptr) {
  block.resize(block.size() * 2);  // the room the stage gives
  int out = host.processSamples(reinterpret_cast<uint8_t*>(block.data()), static_cast<int>(block.size() / 4),
                                16, 2, 22050);
  if (frames) *frames = out;
  block.resize(static_cast<size_t>(out) * 2);
  return block;
}

class WADspTest : public ::testing::Test {
 protected:
  WADsp& host() {
    if (!host_)
      host_ = std::make_unique<WADsp>(std::make_unique<DlLoader>(), prompts, &parent, [this] { return now; });
    return *host_;
  }
  std::string copy(const std::string& kind, const std::string& name) {
    fs::copy_file(plugin(kind), folder.file(name));
    return folder.file(name);
  }

  test::TempFolder folder;
  test::FakePrompts prompts;
  int parent = 0;
  int64_t now = 50'000;
  std::unique_ptr<WADsp> host_;
};

TEST_F(WADspTest, MenuListsTheFirstNinetyNineLibrariesByName) {
  host().loadPlugins(folder.file("missing"));
  EXPECT_TRUE(host().plugins().empty());

  for (int k = 0; k < 100; ++k) copy("invert", "p" + std::to_string(100 + k) + ".so");
  folder.write("bad.so", "not a library");
  folder.write("notes.txt", "");
  fs::create_directory(folder.file("dir.so"));
  host().loadPlugins(folder.path());
  const auto& slots = host().plugins();
  ASSERT_EQ(slots.size(), 99u);
  EXPECT_EQ(slots[0].menuId, 38001);
  EXPECT_EQ(slots[0].description, "bad.so") << "no description of its own: the file name";
  EXPECT_EQ(slots[1].description, "Test plug-in invert");
  EXPECT_EQ(slots[98].menuId, 38099);
  EXPECT_EQ(fs::path(slots[98].path).filename(), "p197.so");
}

TEST_F(WADspTest, LaunchRunsConfigThenInitAndTheBlocksReachItAfterTheGrace) {
  copy("invert", "invert.so");
  host().loadPlugins(folder.path());
  Probe probe(folder.file("invert.so"));
  ASSERT_EQ(host().launch(38001), 38001);
  EXPECT_EQ(probe.journal(), "config init ");
  EXPECT_EQ(probe.module()->hwndParent, &parent);
  EXPECT_NE(probe.module()->hDllInstance, nullptr);

  now += WADsp::kGraceMs;
  EXPECT_EQ(run(host(), {100, -200}), (std::vector<int16_t>{100, -200})) << "still within the grace";
  now += 1;
  EXPECT_EQ(run(host(), {100, -200}), (std::vector<int16_t>{-100, 200}));

  EXPECT_EQ(host().launch(WADsp::kMenuNone), WADsp::kMenuNone);
  EXPECT_EQ(probe.journal(), "config init modify quit");
  EXPECT_EQ(run(host(), {100, -200}), (std::vector<int16_t>{100, -200}));
}

TEST_F(WADspTest, RefusedPluginIsToldAndLeavesNoneChecked) {
  struct Case {
    std::string path;
    int module;
    std::string reason;
  } cases[] = {
      {plugin("no_header"), 0, "it has no winampDSPGetHeader2"},
      {plugin("invert"), 1, "it has no module 1"},
      {plugin("missing"), 0, "cannot be used"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(host().launchFile(plugin("invert")));
    now += 2 * WADsp::kGraceMs;
    EXPECT_FALSE(host().launchFile(c.path, c.module)) << c.path;
    ASSERT_FALSE(prompts.boxTexts().empty());
    EXPECT_NE(prompts.boxTexts().back().find(c.reason), std::string::npos) << prompts.boxTexts().back();
    EXPECT_EQ(run(host(), {1, 2}), (std::vector<int16_t>{1, 2})) << "the previous plug-in quit";
  }
  copy("invert", "a.so");
  copy("no_header", "b.so");
  host().loadPlugins(folder.path());
  ASSERT_EQ(host().launch(38001), 38001);
  EXPECT_EQ(host().launch(38002), WADsp::kMenuNone);
  EXPECT_EQ(host().checkedId(), WADsp::kMenuNone);
}

TEST_F(WADspTest, MisbehavingPluginsAreContainedAndLoggedOnce) {
  test::LogTail log;
  ASSERT_TRUE(host().launchFile(plugin("bad_count")));
  now += 2 * WADsp::kGraceMs;
  for (int i = 0; i < 2; ++i) {
    int frames = 0;
    EXPECT_EQ(run(host(), {5, 6, 7, 8}, &frames), (std::vector<int16_t>{5, 6, 7, 8}));
    EXPECT_EQ(frames, 2);
  }
  EXPECT_EQ(log.count("returned 5 frames for a block of 2"), 1) << log.text();

  Probe probe(plugin("slow"));
  ASSERT_TRUE(host().launchFile(plugin("slow")));
  now += 2 * WADsp::kGraceMs;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run(host(), {5, 6}), (std::vector<int16_t>{5, 6})) << "the source does not wait for it";
  EXPECT_EQ(run(host(), {5, 6}), (std::vector<int16_t>{5, 6})) << "nor for the call it gave up on";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1100));
  EXPECT_EQ(log.count("took longer than 500 ms"), 1) << log.text();
  host().quitPlugin();
  EXPECT_EQ(probe.journal(), "config init modify done quit") << "quit waited for the running call";
}

}  // namespace
}  // namespace brovana
