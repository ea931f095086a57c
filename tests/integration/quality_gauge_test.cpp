// The stream quality gauge on a real stream: a line-in source feeds the conversion stage (LAME)
// at one and a half times real time, the stream goes to a server that stops reading twice for
// a while, and the gauge gets the stage's measured figures every 1.5 s, as from the capture.

#include "monitor/quality_gauge.h"

#include <gtest/gtest.h>

#include <thread>

#include "broadcast/audio_parts.h"
#include "monitor/status_display.h"
#include "net/server_link.h"
#include "net/web_service.h"
#include "platform/lame_encoder.h"
#include "support/fake_account_service.h"
#include "support/fake_prompts.h"
#include "support/fake_views.h"
#include "support/log_tail.h"
#include "support/scripted_peer.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(QualityGaugeIntegrationTest, StallingServerTurnsTheGaugeBadOncePerStall) {
  // The rate is measured over 15 s: the first figure comes after the first 15 s of reading, and a
  // stall turns it bad once the window's silent part reaches about 40 % (the stream goes out at
  // one and a half times the expected rate). The catch-up after a stall must have left the window
  // before the next stall begins, and the ring (22 s of this PCM) holds what a stall keeps back.
  test::ScriptedPeer peer({.stallPhases = {17s, 12s, 17s, 12s}, .receiveBuffer = 4096});
  test::FakeAccountService accounts;
  accounts.setAnswer(kBcinfoOk, "127.0.0.1", peer.port());
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::FakeStatusWindow qualityWindow;
  StatusDisplay status;
  test::FakeLinkReports link;
  test::LogTail log;
  ServerLink live("web.test", &link, accounts, prompts, {2s, 30s, 120s, 30s});
  live.setPassword("secret");
  live.setOutputBitrate(32000);
  ASSERT_TRUE(live.refreshServerInfo());
  live.connect();
  ASSERT_TRUE(live.login());
  LameEncoderLibrary codec;
  StagePart stage(live, status, codec, prompts, exit);
  stage.startConvertThread();
  ASSERT_EQ(stage.conversion().openStream(32000), StreamOpen::Opened);
  const int rate = stage.conversion().getSourceFormat()->sampleRate;
  QualityGauge gauge(&qualityWindow);

  // 100 ms of stereo at a time; a constant stream bit rate makes the sound itself no matter.
  std::vector<uint8_t> block(static_cast<size_t>(rate / 10 * 4));
  const auto start = Clock::now();
  for (int n = 1; log.count("ERROR : Line dropouts") < 2 && Clock::now() - start < 80s; ++n) {
    stage.conversion().convertAndSend(block.data(), static_cast<int>(block.size()), 0, "line");
    if (n % 15 == 0) {
      gauge.setCpuQuality(stage.conversion().getThroughputRatio());
      gauge.setNetworkQuality(stage.conversion().getTransmitBitRate(), 32000);
    }
    std::this_thread::sleep_until(start + n * 100ms / 1.5);
  }
  EXPECT_EQ(log.count("ERROR : Line dropouts, output to network is "), 2) << log.text();
  EXPECT_EQ(qualityWindow.label(kQualityDropoutsLabel), "2 ");
  EXPECT_EQ(
      qualityWindow.labels(kQualityStatusLabel),
      (std::vector<std::string>{kStreamGoodText, kStreamDropoutsText, kStreamGoodText, kStreamDropoutsText}));
  stage.conversion().shutDown();
}

}  // namespace
}  // namespace brovana
