// The stream quality gauge on a real stream: a line-in source feeds the conversion stage (LAME)
// at one and a half times real time, the stream goes to a server that stops reading twice for
// a while, and the gauge is given the stage's measured figures every second, as the capture
// gives them. Each stall drags the measured rate below 95 % of the stream rate: a dropout.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "broadcast/audio_parts.h"
#include "monitor/line_quality.h"
#include "monitor/status_display.h"
#include "net/live_connect.h"
#include "net/web_service.h"
#include "platform/lame_codec.h"
#include "support/fake_account_service.h"
#include "support/fake_prompts.h"
#include "support/fake_views.h"
#include "support/log_tail.h"
#include "support/scripted_peer.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kStreamRate = 32000;
constexpr double kPace = 1.5;
constexpr auto kBlock = 100ms;

TEST(QualityGaugeIntegrationTest, StallingServerTurnsTheGaugeBadOncePerStall) {
  test::ScriptedPeer::Script script;
  // A stall must outlast a whole 5-second measuring window and what the window held before it.
  script.stallPhases = {8s, 12s, 8s, 12s};
  script.receiveBuffer = 4096;
  test::ScriptedPeer peer(script);
  test::FakeAccountService accounts;
  accounts.setAnswer(kBcinfoOk, "127.0.0.1", peer.port());
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::FakeStatusWindow statusWindow, qualityWindow;
  StatusDisplay status(&statusWindow);
  test::LogTail log;
  LiveConnect live("web.test", &status, accounts, prompts, {2s, 30s, 120s});
  live.setMemberName("alice");
  live.setPassword("secret");
  live.setOutputBitrate(kStreamRate);
  ASSERT_TRUE(live.refreshServerInfo());
  live.connect();
  ASSERT_TRUE(live.login());
  LameCodec codec;
  AcmStage stage(live, status, codec, prompts, exit);
  stage.startConvertThread();
  AcmConvert& acm = stage.acm();
  ASSERT_EQ(acm.InitACM(kStreamRate), kInitOpened);
  WaveFormat pcm = *acm.getSourceFormat();
  LineQuality gauge(&qualityWindow);

  const int frames = static_cast<int>(pcm.wfx.nSamplesPerSec * kBlock.count() / 1000);
  std::vector<int16_t> block(static_cast<size_t>(frames * pcm.wfx.nChannels));
  const auto start = Clock::now();
  auto lastFigures = start;
  for (int n = 0; log.count("ERROR : Line dropouts") < 2 && Clock::now() - start < 70s; ++n) {
    for (size_t i = 0; i < block.size(); ++i)
      block[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * (n * frames + i / 2.0) / 11025));
    acm.convertAndSend(reinterpret_cast<const uint8_t*>(block.data()), static_cast<int>(block.size() * 2), 0,
                       "line");
    if (Clock::now() - lastFigures >= 1s) {
      lastFigures = Clock::now();
      gauge.setCpuQuality(acm.getThroughputRatio());
      gauge.setNetworkQuality(acm.getTransmitBitRate(), kStreamRate);
    }
    std::this_thread::sleep_until(start + (n + 1) * kBlock / kPace);
  }

  EXPECT_EQ(log.count("ERROR : Line dropouts, output to network is "), 2) << log.text();
  EXPECT_EQ(qualityWindow.label(kQualityDropoutsLabel), "2 ");
  EXPECT_EQ(
      qualityWindow.labelHistory(kQualityStatusLabel),
      (std::vector<std::string>{kStreamGoodText, kStreamDropoutsText, kStreamGoodText, kStreamDropoutsText}));
  acm.shutDown();
}

}  // namespace
}  // namespace brovana
