// The control socket's language, and the socket itself with clients that behave and that do not.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "app/control_socket.h"
#include "app/remote_requests.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

// Notes each command; start is refused, as while a start is under way.
class FakeStation final : public RemoteStation {
 public:
  std::string calls;
  RemoteStatus status() override {
    RemoteStatus status;
    status.onAir = "playlist";
    status.title = "Tone \"440\"";
    status.bytesSent = 1LL << 40;
    status.servers = {{"main", "connected"}};
    return status;
  }
  std::string start() override { return note("start", "the broadcast is on the air already"); }
  std::string stop() override { return note("stop"); }
  std::string skip(int step) override { return note("skip " + std::to_string(step)); }
  std::string song(const std::string& text) override { return note("song " + text); }
  std::string record(bool on) override { return note(on ? "record on" : "record off"); }
  std::string source(const std::string& name) override { return note("source " + name); }

 private:
  std::string note(const std::string& call, std::string answer = {}) {
    calls += call + ";";
    return answer;
  }
};

TEST(RemoteRequests, EachLineIsAnsweredAndOnlyWhatTheStudioCanDoKeepsTheConnection) {
  const struct {
    std::string line, answer, calls;
    bool close;
  } cases[] = {
      {R"({"command":"next"})", R"({"ok":true})", "skip 1;", false},
      {R"( {"command":"previous"} )", R"({"ok":true})", "skip -1;", false},
      {R"({"command":"song","text":"Live – Guest DJ"})", R"({"ok":true})", "song Live – Guest DJ;", false},
      {R"({"command":"song","text":"\u00e9 \ud83c\udfb5"})", R"({"ok":true})", "song \u00e9 \U0001F3B5;",
       false},
      {R"({"command":"record","on":false})", R"({"ok":true})", "record off;", false},
      {R"({"command":"source","name":"mix"})", R"({"ok":true})", "source mix;", false},
      {R"({"command":"start"})", R"({"error":"the broadcast is on the air already","ok":false})", "start;",
       false},
      {R"({"command":"status"})",
       R"({"bytesSent":1099511627776,"dropouts":0,"ok":true,"onAir":"playlist","recording":null,)"
       R"("servers":[{"name":"main","state":"connected"}],"source":"","title":"Tone \"440\"","uptime":0})",
       "", false},
      {R"({"command":"song"})", R"({"error":"the command needs one line of text","ok":false})", "", true},
      {R"({"command":"song","text":"two\nlines"})", "the command needs one line of text", "", true},
      {R"({"command":"record","on":"yes"})", R"(\"on\" must be true or false)", "", true},
      {R"({"command":"dance"})", R"({"error":"unknown command","ok":false})", "", true},
      {R"({"text":"no command"})", "unknown command", "", true},
      {"status", R"({"error":"malformed request","ok":false})", "", true},
      {"[1,2]", "malformed request", "", true},
      {R"({"command":"next"} {})", "malformed request", "", true},
      {R"({"command":"next",})", "malformed request", "", true},
      {std::string("{\"command\":\0\xff\"next\"}", 20), "malformed request", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    FakeStation station;
    RemoteReply reply = answerRemoteRequest(c.line, station);
    EXPECT_NE(reply.line.find(c.answer), std::string::npos) << reply.line;
    EXPECT_EQ(reply.close, c.close);
    EXPECT_EQ(station.calls, c.calls);
    // What the client's exit code follows.
    EXPECT_EQ(remoteAnswerOk(reply.line), c.answer.find("\"ok\":true") != std::string::npos);
  }
}

TEST(RemoteRequests, CommandLineWordsBecomeOneRequestOrAreRefused) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"status"}, R"({"command":"status"})"},
      {{"song", "Artist - \"Title\""}, R"({"command":"song","text":"Artist - \"Title\""})"},
      {{"record", "on"}, R"({"command":"record","on":true})"},
      {{"source", "line"}, R"({"command":"source","name":"line"})"},
      {{"record", "maybe"}, "--remote record takes on or off"},
      {{"next", "please"}, "--remote takes one of"},
      {{"song"}, "--remote takes one of"},
      {{"dance"}, "--remote takes one of"},
  };
  for (const auto& [words, expected] : cases) {
    std::string error;
    std::optional<std::string> line = remoteRequestLine(words, error);
    EXPECT_EQ(line.value_or(error).substr(0, expected.size()), expected) << words[0];
  }
}

// A raw client, for the ones that misbehave.
int connectRaw(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
  return fd;
}

// What the server sent until it closed the connection.
std::string readToEnd(int fd) {
  std::string got;
  char bytes[4096];
  for (ssize_t n; (n = read(fd, bytes, sizeof bytes)) > 0;) got.append(bytes, static_cast<size_t>(n));
  close(fd);
  return got;
}

TEST(ControlSocket, ServesTwoClientsAtOnceAndLetsGoOfSilentOversizedAndStrangeOnes) {
  test::TempFolder folder;
  const std::string path = folder.file("control.sock");
  // What a killed studio leaves: a socket nobody listens on.
  {
    int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);
  }
  FakeStation station;
  auto served = std::make_unique<ControlSocket>(
      [&](std::string_view line) { return answerRemoteRequest(line, station); }, ControlLimits{1024, 500ms});
  std::string error;
  ASSERT_TRUE(served->open(path, error)) << error;
  struct stat facts;
  ASSERT_EQ(stat(path.c_str(), &facts), 0);
  EXPECT_EQ(facts.st_mode & 0777, 0600u);

  int silent = connectRaw(path);
  int oversized = connectRaw(path);
  std::string big(1 << 20, 'x');
  (void)!send(oversized, big.data(), big.size(), MSG_NOSIGNAL);
  int strange = connectRaw(path);
  (void)!write(strange, "\x01\x02\xff\n{\"command\":\"next\"}\n", 20);
  // The other clients are served meanwhile, also while the silent one waits for its time-out.
  EXPECT_EQ(callControlSocket(path, R"({"command":"next"})", 5s, error).value_or(error), R"({"ok":true})");
  EXPECT_EQ(readToEnd(oversized), "{\"error\":\"request too long\",\"ok\":false}\n");
  EXPECT_EQ(readToEnd(strange), "{\"error\":\"malformed request\",\"ok\":false}\n");
  EXPECT_EQ(readToEnd(silent), "");
  EXPECT_EQ(station.calls, "skip 1;") << "nothing after a refused line is carried out";

  served.reset();
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(callControlSocket(path, R"({"command":"status"})", 1s, error));
  EXPECT_NE(error.find("no studio is running"), std::string::npos);

  // A file of another kind at the path stays as it was; the studio goes on without.
  folder.write("control.sock", "notes");
  ControlSocket refused([&](std::string_view line) { return answerRemoteRequest(line, station); });
  EXPECT_FALSE(refused.open(path, error));
  EXPECT_NE(error.find("exists and is not a socket"), std::string::npos) << error;
  EXPECT_EQ(folder.read("control.sock"), "notes");
}

}  // namespace
}  // namespace brovana
