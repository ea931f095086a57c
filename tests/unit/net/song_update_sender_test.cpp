#include "net/song_update_sender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/fake_http_client.h"
#include "support/journal.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

SongRequest request(const std::string& tag) {
  return {"songs.example", "dj", "/cgi-bin/add_song.cgi?title=" + tag};
}

// A service that holds the sender inside its first request until let go or told to stop.
struct HeldService : test::FakeHttpClient {
  HeldService() {
    onCall = [this](const Call&, const GetOptions& options) {
      entered = true;
      // The stop flag is the sender's own: look at it again every millisecond.
      while (!open && !(options.stop && options.stop->load())) std::this_thread::sleep_for(1ms);
    };
  }
  bool waitEntered() const {
    return test::eventually([&] { return entered.load(); });
  }
  std::atomic<bool> entered{false}, open{false};
};

TEST(SongUpdateSenderTest, OfABurstTheRequestOnTheWireAndTheLastOneAreSent) {
  HeldService http;
  SongUpdateSender sender(http);
  sender.handOver(request("first"));
  ASSERT_TRUE(http.waitEntered());
  for (int i = 0; i < 50; ++i) sender.handOver(request("burst" + std::to_string(i)));
  http.open = true;
  ASSERT_TRUE(sender.waitIdle(10s));
  EXPECT_EQ(http.paths(), (std::vector<std::string>{"/cgi-bin/add_song.cgi?title=first",
                                                    "/cgi-bin/add_song.cgi?title=burst49"}));
  EXPECT_EQ(sender.sentCount(), 2);
  auto call = http.calls().at(1);
  EXPECT_EQ(std::tie(call.host, call.user, call.capacity),
            std::tuple("songs.example", "dj", kSongAnswerSize));
  // The slot limits host, user and path (1,022 characters, cut in front of an escape).
  const std::string start = "/cgi-bin/add_song.cgi?title=";  // 28 characters
  std::string escapes;
  for (int i = 0; i < 400; ++i) escapes += "%41";
  for (const auto& [path, sent] : {std::pair{start + std::string(3000, 'x'), start + std::string(994, 'x')},
                                   {start + escapes, start + escapes.substr(0, 993)}}) {
    sender.handOver({std::string(300, 'h'), std::string(50, 'u'), path});
    ASSERT_TRUE(sender.waitIdle(10s));
    call = http.calls().back();
    EXPECT_EQ(std::tie(call.host, call.user, call.path),
              std::tuple(std::string(254, 'h'), std::string(29, 'u'), sent));
  }
}

TEST(SongUpdateSenderTest, StopAbandonsTheRequestOnTheWireAndDropsTheWaitingOne) {
  HeldService http;
  SongUpdateSender sender(http);
  sender.handOver(request("stuck"));
  ASSERT_TRUE(http.waitEntered());
  sender.handOver(request("waiting"));
  sender.stop();
  sender.handOver(request("after stop"));
  EXPECT_TRUE(sender.waitIdle(1s));
  EXPECT_EQ(http.paths(), std::vector<std::string>{"/cgi-bin/add_song.cgi?title=stuck"});
}

TEST(SongUpdateSenderTest, RequestsFromSeveralThreadsArriveWhole) {
  test::FakeHttpClient http;
  SongUpdateSender sender(http);
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&sender, t] {
      for (int i = 0; i < 300; ++i) {
        std::string tag = std::to_string(t) + "-" + std::to_string(i);
        sender.handOver({tag, "dj", "/" + tag + std::string(i % 50, '.')});
      }
    });
  for (auto& p : posters) p.join();
  ASSERT_TRUE(sender.waitIdle(10s));
  auto calls = http.calls();
  ASSERT_FALSE(calls.empty());
  for (const auto& call : calls)
    EXPECT_EQ(call.path, "/" + call.host + std::string(std::stoi(call.host.substr(2)) % 50, '.'));
  EXPECT_TRUE(calls.back().host.ends_with("-299"))
      << "the last hand-over of some thread is what the sender saw last";
}

}  // namespace
}  // namespace brovana
