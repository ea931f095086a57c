// The DSP plug-in host with real plug-in libraries built for the tests (dsp_test_plugin.cpp).

#include "audio/dsp_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/dl_loader.h"
#include "support/fake_prompts.h"
#include "support/journal.h"
#include "support/log_tail.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

namespace fs = std::filesystem;
using Samples = std::vector<int16_t>;

std::string plugin(const std::string& kind) {
  return std::string(TEST_PLUGIN_DIR) + "/" + kind + ".so";
}

class DspHostTest : public ::testing::Test {
 protected:
  // A stereo block through the host, in a buffer with the room the stage gives; what came back.
  Samples run(Samples block) {
    block.resize(block.size() * 2);
    int frames =
        host.processSamples(reinterpret_cast<uint8_t*>(block.data()), int(block.size() / 4), 16, 2, 22050);
    block.resize(size_t(frames) * 2);
    return block;
  }
  void copy(const std::string& kind, const std::string& name) {
    fs::copy_file(plugin(kind), folder.file(name));
  }

  test::TempFolder folder;
  test::FakePrompts prompts;
  int64_t now = 50'000;
  DspHost host{std::make_unique<DlLoader>(), prompts, nullptr, [this] { return now; }};
};

TEST_F(DspHostTest, MenuListsTheFirstNinetyNineLibrariesByName) {
  for (int k = 0; k < 100; ++k) copy("invert", "p" + std::to_string(100 + k) + ".so");
  folder.write("bad.so", "not a library");
  folder.write("notes.txt", "");
  host.loadPlugins(folder.path());
  ASSERT_EQ(host.plugins().size(), 99u);
  EXPECT_EQ(host.plugins()[0].description, "bad.so") << "no description of its own: the file name";
  EXPECT_EQ(host.plugins()[1].description, "Test plug-in invert");
  EXPECT_EQ(host.plugins()[98].menuId, 38099);
  EXPECT_EQ(fs::path(host.plugins()[98].path).filename(), "p197.so");
}

TEST_F(DspHostTest, BlocksReachALaunchedPlugInAfterTheGraceAndARefusalLeavesNone) {
  copy("invert", "a.so");
  copy("no_header", "b.so");
  host.loadPlugins(folder.path());
  ASSERT_EQ(host.launch(38001), 38001);
  now += DspHost::kGraceMs;
  EXPECT_EQ(run({100, -200}), (Samples{100, -200})) << "still within the grace";
  now += 1;
  EXPECT_EQ(run({100, -200}), (Samples{-100, 200}));

  EXPECT_EQ(host.launch(38002), DspHost::kMenuNone);
  EXPECT_NE(prompts.boxTexts().back().find("it has no winampDSPGetHeader2"), std::string::npos);
  EXPECT_EQ(run({100, -200}), (Samples{100, -200})) << "the previous plug-in quit";
  EXPECT_FALSE(host.launchFile(plugin("invert"), 1));
  EXPECT_NE(prompts.boxTexts().back().find("it has no module 1"), std::string::npos);
}

// Each refusal says its own reason, also when the library is only described.
TEST_F(DspHostTest, RefusedPlugInsSayWhyAndNoneRuns) {
  const std::tuple<const char*, std::string, bool> cases[] = {
      // the plug-in, why it is refused, whether describing it fails the same way
      {"no_header", "it has no winampDSPGetHeader2", true},
      {"null_header", "its winampDSPGetHeader2 returned no header", true},
      {"init_fails", "its module 0 did not start (Init returned 3)", false},
  };
  for (const auto& [kind, reason, undescribed] : cases) {
    EXPECT_FALSE(host.launchFile(plugin(kind))) << kind;
    EXPECT_TRUE(prompts.boxTexts().back().ends_with(": " + reason + ".")) << prompts.boxTexts().back();
    DlLoader loader;
    std::string error;
    EXPECT_EQ(DspHost::describe(loader, plugin(kind), error).has_value(), !undescribed) << kind;
    EXPECT_EQ(error, undescribed ? reason : "");
  }
  now += 2 * DspHost::kGraceMs;
  EXPECT_EQ(run({100, -200}), (Samples{100, -200}));
}

TEST_F(DspHostTest, MisbehavingPlugInIsContainedAndLoggedOnce) {
  test::LogTail log;
  // Four frames past its room: the block passes as it was, and the plug-in, which would negate
  // the next block, is bypassed from then on.
  ASSERT_TRUE(host.launchFile(plugin("overrun")));
  now += 2 * DspHost::kGraceMs;
  EXPECT_EQ(run({5, 6, 7, 8}), (Samples{5, 6, 7, 8}));
  EXPECT_EQ(run({5, 6, 7, 8}), (Samples{5, 6, 7, 8}));
  EXPECT_EQ(host.checkedId(), DspHost::kMenuNone);
  EXPECT_EQ(log.count("wrote past the end of its buffer; the broadcast goes on without it"), 1) << log.text();

  ASSERT_TRUE(host.launchFile(plugin("bad_count")));
  now += 2 * DspHost::kGraceMs;
  EXPECT_EQ(run({5, 6, 7, 8}), (Samples{5, 6, 7, 8}));
  EXPECT_EQ(run({5, 6, 7, 8}), (Samples{5, 6, 7, 8}));
  EXPECT_EQ(log.count("returned 5 frames for a block of 2"), 1) << log.text();

  // A call that does not come back: the source, the quit and the next plug-in go on without it,
  // and its library goes only once the call has returned into it.
  ASSERT_TRUE(host.launchFile(plugin("stuck")));
  now += 2 * DspHost::kGraceMs;
  EXPECT_EQ(run({5, 6}), (Samples{5, 6})) << "the source does not wait for it";
  EXPECT_EQ(run({5, 6}), (Samples{5, 6})) << "nor for the call it gave up on";
  EXPECT_EQ(log.count("took longer than 500 ms"), 1) << log.text();
  ASSERT_TRUE(host.launchFile(plugin("invert")));
  EXPECT_EQ(log.count("does not return from its call; it quits when the call returns"), 1) << log.text();
  now += 2 * DspHost::kGraceMs;
  EXPECT_EQ(run({5, 6}), (Samples{-5, -6}));
  void* stuck = dlopen(plugin("stuck").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(stuck, nullptr) << "still loaded while its call runs";
  reinterpret_cast<void (*)()>(dlsym(stuck, "dsp_test_release"))();
  dlclose(stuck);
  EXPECT_TRUE(test::eventually([&] { return log.count("has returned from its call and quit") == 1; }));
}

}  // namespace
}  // namespace brovana
