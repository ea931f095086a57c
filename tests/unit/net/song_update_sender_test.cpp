#include "net/song_update_sender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/fake_http_client.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

SongRequest request(const std::string& tag) {
  return {"songs.example", "dj", "/cgi-bin/add_song.cgi?title=" + tag};
}

// Holds the sender inside its first request until released or told to stop.
class Gate {
 public:
  void hold(test::FakeHttpClient& http) {
    http.onCall = [this](const test::FakeHttpClient::Call&, const GetOptions& options) {
      std::unique_lock lock(mutex_);
      ++entered_;
      changed_.notify_all();
      // The stop flag is the sender's own: look at it again every millisecond.
      while (!open_ && !(options.stop && options.stop->load())) changed_.wait_for(lock, 1ms);
    };
  }
  bool waitEntered(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return entered_ >= count; });
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int entered_ = 0;
  bool open_ = false;
};

TEST(SongUpdateSenderTest, OfABurstTheRequestOnTheWireAndTheLastOneAreSent) {
  test::FakeHttpClient http;
  Gate gate;
  gate.hold(http);
  SongUpdateSender sender(http);
  sender.handOver(request("first"));
  ASSERT_TRUE(gate.waitEntered(1));
  for (int i = 0; i < 50; ++i) sender.handOver(request("burst" + std::to_string(i)));
  gate.open();
  ASSERT_TRUE(sender.waitIdle(10s));

  auto paths = http.paths();
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0], "/cgi-bin/add_song.cgi?title=first");
  EXPECT_EQ(paths[1], "/cgi-bin/add_song.cgi?title=burst49");
  EXPECT_EQ(sender.sentCount(), 2);
  auto calls = http.calls();
  EXPECT_EQ(calls[1].host, "songs.example");
  EXPECT_EQ(calls[1].user, "dj");
  EXPECT_EQ(calls[1].capacity, kSongAnswerSize);
}

TEST(SongUpdateSenderTest, SlotLimitsHostUserAndPathWithoutSplittingAnEscape) {
  const std::string start = "/cgi-bin/add_song.cgi?title=";  // 28 characters
  std::string escapes;
  for (int i = 0; i < 400; ++i) escapes += "%41";
  const std::pair<std::string, std::string> paths[] = {
      {start + std::string(3000, 'x'), start + std::string(1022 - 28, 'x')},
      {start + escapes, start + escapes.substr(0, 993)},  // 331 whole escapes, 1,021 characters
  };
  for (const auto& [path, sent] : paths) {
    test::FakeHttpClient http;
    SongUpdateSender sender(http);
    sender.handOver({std::string(300, 'h'), std::string(50, 'u'), path});
    ASSERT_TRUE(sender.waitIdle(10s));
    auto calls = http.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].host, std::string(254, 'h'));
    EXPECT_EQ(calls[0].user, std::string(29, 'u'));
    EXPECT_EQ(calls[0].path, sent);
  }
}

TEST(SongUpdateSenderTest, StopAbandonsTheRequestOnTheWireAndDropsTheWaitingOne) {
  test::FakeHttpClient http;
  Gate gate;
  gate.hold(http);
  SongUpdateSender sender(http);
  sender.handOver(request("stuck"));
  ASSERT_TRUE(gate.waitEntered(1));
  sender.handOver(request("waiting"));
  sender.stop();
  EXPECT_EQ(http.paths(), std::vector<std::string>{"/cgi-bin/add_song.cgi?title=stuck"});
  sender.handOver(request("after stop"));
  EXPECT_TRUE(sender.waitIdle(1s));
  EXPECT_EQ(http.calls().size(), 1u);
}

TEST(SongUpdateSenderTest, RequestsFromSeveralThreadsArriveWhole) {
  test::FakeHttpClient http;
  SongUpdateSender sender(http);
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&sender, t] {
      for (int i = 0; i < 300; ++i) {
        std::string tag = std::to_string(t) + "-" + std::to_string(i);
        sender.handOver(
            {"host" + tag, "dj", "/cgi-bin/add_song.cgi?title=" + tag + std::string(i % 50, '.')});
      }
    });
  for (auto& p : posters) p.join();
  ASSERT_TRUE(sender.waitIdle(10s));
  auto calls = http.calls();
  ASSERT_FALSE(calls.empty());
  for (const auto& call : calls) {
    std::string tag = call.host.substr(4);
    int i = std::stoi(tag.substr(tag.find('-') + 1));
    EXPECT_EQ(call.path, "/cgi-bin/add_song.cgi?title=" + tag + std::string(i % 50, '.'));
  }
  // The last hand-over of some thread is what the sender saw last.
  EXPECT_EQ(calls.back().path.find("-299"), std::string("/cgi-bin/add_song.cgi?title=").size() + 1);
}

}  // namespace
}  // namespace brovana
