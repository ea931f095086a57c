#include "broadcast/extra_servers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "core/program_values.h"
#include "core/registry.h"
#include "support/child_process.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

ServerForm icecastForm() {
  ServerForm form;
  form.host = "radio.example.org";
  form.password = "s3cret";
  return form;
}

// Each field the member may get wrong is named; what is taken comes back from the store as it
// was typed, also with the characters a URL cannot carry.
TEST(ServerFormTest, EachWrongFieldIsNamedAndEachServerComesBackFromTheStoreAsTyped) {
  struct Case {
    const char* what;
    std::function<void(ServerForm&)> change;
    const char* complaint;  // empty: taken
  };
  const Case cases[] = {
      {"plain", [](ServerForm&) {}, ""},
      {"password of URL characters",
       [](ServerForm& f) {
         f.password = "@p:a/s?s&w=o%r d#";
         f.user = "dj:1";
       },
       ""},
      {"name with query characters", [](ServerForm& f) { f.name = "Late & Live = 100% talk"; }, ""},
      {"TLS, Opus, mono",
       [](ServerForm& f) {
         f.protocol = ServerForm::IcecastTls;
         f.codec = Codec::Opus;
         f.bitrate = "96";
         f.channels = 1;
         f.tlsInsecure = true;
       },
       ""},
      {"shoutcast, vorbis at 48 kHz",
       [](ServerForm& f) {
         f.protocol = ServerForm::Shoutcast;
         f.mount = "";
         f.codec = Codec::Vorbis;
         f.rate = 48000;
       },
       ""},
      {"mount without slash", [](ServerForm& f) { f.mount = "high.mp3"; }, ""},
      {"empty host", [](ServerForm& f) { f.host = ""; }, "host and port are missing"},
      {"host with a slash", [](ServerForm& f) { f.host = "a/b"; }, "is not a host name"},
      {"port of letters", [](ServerForm& f) { f.port = "80a"; }, "port \"80a\""},
      {"port too high", [](ServerForm& f) { f.port = "70000"; }, "port \"70000\""},
      {"no mount", [](ServerForm& f) { f.mount = ""; }, "mount is missing"},
      {"mount with a query", [](ServerForm& f) { f.mount = "/a?b=1"; }, "mount may hold"},
      {"no password", [](ServerForm& f) { f.password = ""; }, "password is missing"},
      {"no user", [](ServerForm& f) { f.user = ""; }, "user is missing"},
      {"bit rate of words", [](ServerForm& f) { f.bitrate = "fast"; }, "bitrate is in kbit/s"},
      {"bit rate with a query", [](ServerForm& f) { f.bitrate = "128&rate=8000"; }, "bitrate is in kbit/s"},
      {"insecure without TLS", [](ServerForm& f) { f.tlsInsecure = true; }, "tls=insecure needs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ServerForm form = icecastForm();
    c.change(form);
    TargetParse parsed = targetFromForm(form);
    if (*c.complaint) {
      EXPECT_NE(parsed.error.find(c.complaint), std::string::npos) << parsed.error;
      continue;
    }
    ASSERT_EQ(parsed.error, "");
    MemoryRegistry registry;
    saveExtraServers(registry, kProfileName, {parsed.target});
    std::vector<StreamTarget> loaded = loadExtraServers(registry, kProfileName);
    ASSERT_EQ(loaded.size(), 1u);
    ServerForm back = formFromTarget(loaded[0]);
    EXPECT_EQ(back.password, form.password);
    EXPECT_EQ(back.name, form.name);
    EXPECT_EQ(back.host, form.host);
    EXPECT_EQ(back.protocol, form.protocol);
    EXPECT_EQ(back.codec, form.codec);
    EXPECT_EQ(back.bitrate, form.bitrate);
    EXPECT_EQ(back.channels, form.channels);
    EXPECT_EQ(back.tlsInsecure, form.tlsInsecure);
    EXPECT_EQ(serverUrl(loaded[0]), serverUrl(parsed.target));
  }
}

class FakeClient final : public SourceClient {
 public:
  explicit FakeClient(std::string refusal) : refusal_(std::move(refusal)) {}
  std::string open(const std::atomic<bool>&) override { return refusal_; }
  bool send(std::span<const uint8_t>) override { return true; }
  size_t backlog() override { return 0; }
  bool setTitle(const std::string&) override { return true; }
  void close() override {}
  std::string error() override { return refusal_; }

 private:
  std::string refusal_;
};

class RecordingView final : public ServersView {
 public:
  void showServers(const std::vector<std::string>& shown) override { rows = shown; }
  void showProblem(const std::string& text) override { problem = text; }
  void showTestResult(const std::string& text) override {
    {
      std::lock_guard lock(mutex_);
      result_ = text;
    }
    changed_.notify_all();
  }
  std::string awaitResult() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 10s, [this] { return !result_.empty(); });
    return std::exchange(result_, {});
  }

  std::vector<std::string> rows;
  std::string problem;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string result_;
};

// The list holds eight at most, every change is stored at once, and a test reports the log-in's
// outcome from the background.
TEST(ServersEditorTest, EditsAreStoredAtOnceTheListHoldsEightAndTestsReportTheLogIn) {
  MemoryRegistry registry;
  RecordingView view;
  ServersEditor editor(registry, kProfileName, [](const ServerAddress& address, const StreamFacts&) {
    return std::make_unique<FakeClient>(address.host == "down.example.org" ? "cannot connect" : "");
  });
  editor.attach(&view);
  for (int i = 0; i < kMaxExtraServers; ++i) {
    ServerForm form = icecastForm();
    form.mount = "/m" + std::to_string(i);
    ASSERT_TRUE(editor.apply(-1, form)) << view.problem;
  }
  EXPECT_FALSE(editor.apply(-1, icecastForm()));
  EXPECT_NE(view.problem.find("eight"), std::string::npos);

  ServerForm changed = icecastForm();
  changed.name = "Backup";
  changed.codec = Codec::Opus;
  EXPECT_TRUE(editor.apply(2, changed));
  changed.port = "";
  EXPECT_FALSE(editor.apply(2, changed));
  EXPECT_NE(view.problem.find("port"), std::string::npos);
  editor.remove(0);
  editor.remove(42);
  ASSERT_EQ(view.rows.size(), 7u);
  EXPECT_EQ(
      view.rows[1].rfind("Backup - icecast://radio.example.org:8000/live (Opus 128 kbit/s, 48000 Hz", 0), 0u);

  std::vector<StreamTarget> stored = loadExtraServers(registry, kProfileName);
  ASSERT_EQ(stored.size(), 7u);
  EXPECT_EQ(stored[0].server.mount, "/m1");
  EXPECT_EQ(stored[1].server.name, "Backup");

  EXPECT_TRUE(editor.test(icecastForm()));
  EXPECT_EQ(view.awaitResult(), "icecast://radio.example.org:8000/live took the log-in.");
  ServerForm down = icecastForm();
  down.host = "down.example.org";
  EXPECT_TRUE(editor.test(down));
  EXPECT_EQ(view.awaitResult(), "icecast://down.example.org:8000/live: cannot connect.");
}

// Encoders that hand the PCM on as it is, counting how many are open.
class PassingEncoders final : public EncoderLibrary {
  struct Passing final : AudioEncoder {
    explicit Passing(PassingEncoders& library) : library(library) { ++library.open_; }
    ~Passing() override { --library.open_; }
    bool encode(std::span<const uint8_t> pcm, std::vector<uint8_t>& out) override {
      out.insert(out.end(), pcm.begin(), pcm.end());
      return true;
    }
    bool flush(std::vector<uint8_t>&) override { return true; }
    EncodedFormat format() const override { return {}; }
    PassingEncoders& library;
  };

 public:
  std::vector<EncodedFormat> formats() const override { return {}; }
  bool usable() override { return true; }
  EncoderOpened open(const PcmFormat&, const EncodedFormat&) override {
    return {std::make_unique<Passing>(*this), {}};
  }
  std::atomic<int> open_{0};
};

// Each mount's connections and the bytes it took; the last report of each place.
struct Tally final : FanOutReports {
  struct Client final : SourceClient {
    Client(Tally& tally, std::string mount) : tally(tally), mount(std::move(mount)) {}
    std::string open(const std::atomic<bool>&) override {
      tally.add(mount, 1, 0);
      return {};
    }
    bool send(std::span<const uint8_t> bytes) override {
      tally.add(mount, 0, bytes.size());
      return true;
    }
    size_t backlog() override { return 0; }
    bool setTitle(const std::string&) override { return true; }
    void close() override {}
    std::string error() override { return {}; }
    Tally& tally;
    const std::string mount;
  };
  void add(const std::string& mount, int connections, size_t bytes) {
    std::lock_guard lock(mutex);
    mounts[mount].first += connections;
    mounts[mount].second += bytes;
  }
  void serverReport(int index, const ServerReport& report) override {
    std::lock_guard lock(mutex);
    labels[index] = report.label;
  }
  std::pair<int, size_t> of(const std::string& mount) {
    std::lock_guard lock(mutex);
    return mounts[mount];
  }
  std::string label(int index) {
    std::lock_guard lock(mutex);
    return labels[index];
  }
  std::mutex mutex;
  std::map<std::string, std::pair<int, size_t>> mounts;
  std::map<int, std::string> labels;
};

// On the air: a server that stays streams on without a new connection, a new one and an edited
// one connect, a new format starts its encoder and one no server uses stops; the places follow.
TEST(ServerFanOutTest, ChangesOnTheAirLeaveTheServersThatStayUndisturbed) {
  auto target = [](const char* mount, int bitrate, const char* name = "") {
    StreamTarget made{{}, {Codec::Mp3, 44100, 2, bitrate}};
    made.server.host = "h";
    made.server.port = 8000;
    made.server.mount = mount;
    made.server.name = name;
    return made;
  };
  PassingEncoders encoders;
  Tally tally;
  ServerFanOut fanOut(
      {target("/a", 128000), target("/b", 128000)}, encoders,
      [&](const ServerAddress& address, const StreamFacts&) {
        return std::make_unique<Tally::Client>(tally, address.mount);
      },
      {}, &tally);
  const std::vector<uint8_t> block(4410 * 4);
  // Plays on, a block at each look, until the mounts took more than they have now.
  auto playsOn = [&](std::vector<std::string> mounts) {
    std::vector<size_t> before;
    for (auto& mount : mounts) before.push_back(tally.of(mount).second);
    return test::waitUntil(
        [&] {
          fanOut.onAir(block.data(), static_cast<int>(block.size()), {44100, 2});
          for (size_t i = 0; i < mounts.size(); ++i)
            if (tally.of(mounts[i]).second <= before[i]) return false;
          return true;
        },
        10s);
  };
  ASSERT_TRUE(playsOn({"/a", "/b"}));

  fanOut.update({target("/b", 128000), target("/c", 64000), target("/a", 128000, "Edited")});
  EXPECT_TRUE(playsOn({"/a", "/b", "/c"}));
  EXPECT_EQ(tally.of("/b").first, 1);
  EXPECT_EQ(tally.of("/a").first, 2);
  EXPECT_EQ(tally.of("/c").first, 1);
  EXPECT_EQ(encoders.open_.load(), 2);
  EXPECT_EQ(tally.label(0), "icecast://h:8000/b");
  EXPECT_EQ(tally.label(2), "Edited (icecast://h:8000/a)");

  fanOut.update({target("/b", 128000)});
  EXPECT_EQ(encoders.open_.load(), 1);
  EXPECT_EQ(fanOut.states().size(), 1u);
  EXPECT_TRUE(playsOn({"/b"}));
  EXPECT_EQ(tally.of("/b").first, 1);
  EXPECT_EQ(tally.label(1), "");
  EXPECT_EQ(tally.label(2), "");
}

}  // namespace
}  // namespace brovana
