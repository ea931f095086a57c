#include "broadcast/extra_servers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "core/program_values.h"
#include "core/registry.h"

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

}  // namespace
}  // namespace brovana
