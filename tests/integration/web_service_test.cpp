// The web service client over real HTTP against the service emulator on a loopback port.

#include "net/web_service.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/curl_http_client.h"
#include "support/service_emulator.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

constexpr int kBroadcastPort = 9101;
const std::string kOddMember = "Zo\xC3\xAB & co", kOddPassword = "pa ss&#=\xC3\xA9+%";

ServerInfo member(const std::string& name, const std::string& password) {
  ServerInfo info;
  std::strncpy(info.username, name.c_str(), sizeof info.username - 1);
  std::strncpy(info.pass, password.c_str(), sizeof info.pass - 1);
  return info;
}

class WebServiceAgainstEmulator : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(service.ready()) << "emulator log: " << service.logFile(); }
  // The request before the view that reports it.
  test::EmulatorRecord lastRequest() const {
    auto seen = service.records("requests");
    return seen.size() >= 2 ? seen[seen.size() - 2] : test::EmulatorRecord{};
  }

  test::ServiceEmulator service{{.accounts = {kOddMember + ":" + kOddPassword},
                                 .accountsFile =
                                     "ana s3cret mode=LI server=OFF listeners=4 limit=250 minutes=12 "
                                     "rating=4.5\n",
                                 .broadcastPort = kBroadcastPort}};
  CurlHttpClient http;
  WebService web{http, service.webHost()};
};

// The account requests as the service answers them (the answers' readers have their own tests).
TEST_F(WebServiceAgainstEmulator, AccountFactsAndSessions) {
  ServerInfo ana = member("ana", "s3cret");
  ASSERT_EQ(web.bcinfo(ana, true), kBcinfoOk);
  EXPECT_EQ(std::tuple(ana.accountMode, ana.serverOn, ana.listeners, ana.maxListeners, ana.avgListenMinutes),
            std::tuple(kModeLive, 0, 4, 250, 12));
  EXPECT_FLOAT_EQ(ana.rating, 4.5f);
  EXPECT_STREQ(ana.host, "127.0.0.1");
  EXPECT_EQ(ana.port, kBroadcastPort);                // the answer names the listener port below it
  ServerInfo odd = member(kOddMember, kOddPassword);  // every character escaped as it must be
  EXPECT_EQ(std::tuple(web.bcinfo(odd, true), odd.accountMode), std::tuple(kBcinfoOk, kModeLive));

  ASSERT_TRUE(web.livelogin(ana));
  EXPECT_EQ(std::string(ana.sessionid).size(), 16u);
  ASSERT_EQ(web.bcinfo(ana, true), kBcinfoOk);
  EXPECT_EQ(lastRequest()["target"],
            "/cgi-bin/bcinfo.cgi?membername=ana&sessionid=" + std::string(ana.sessionid) + "&version=2");
  EXPECT_TRUE(web.netcastSwitch(kOddMember, kOddPassword, "hostplay", 0));
}

TEST_F(WebServiceAgainstEmulator, HttpGetKeepsItsRules) {
  std::string answer;
  ASSERT_TRUE(service.control({{"account", "ana"}, {"pad", "5000"}}));
  ASSERT_TRUE(http.get(service.webHost(), "ana", "/cgi-bin/livelogin.cgi?membername=ana&password=s3cret",
                       answer, kAccountAnswerSize));
  ASSERT_EQ(answer.size(), kAccountAnswerSize - 1);
  EXPECT_EQ(answer.substr(0, 2), "0 ");
  EXPECT_EQ(lastRequest()["agent"], "Brovana");

  int status = 0;
  GetOptions options;
  options.status = &status;
  EXPECT_TRUE(http.getDetailed(service.webHost(), " ", "/scripts/nothing.js", answer, 100, options));
  EXPECT_EQ(status, 404);
  EXPECT_EQ(answer.size(), 99u);  // an error page is an answer like any other

  // A service that does not answer in time, and one that is not there, give false and no text.
  ASSERT_TRUE(service.control({{"account", "ana"}, {"pad", "0"}, {"delay", "3000"}}));
  CurlHttpClient impatient(CurlHttpClient::Limits{1000ms, 300ms});
  for (auto [client, host] : {std::pair{&impatient, service.webHost()},
                              {&http, "127.0.0.1:" + std::to_string(test::freeLoopbackPort())},
                              {&http, std::string("bad host/x")}}) {
    answer = "stale";
    EXPECT_FALSE(client->get(host, "ana", "/cgi-bin/bcinfo.cgi?membername=ana&password=s3cret&version=2",
                             answer, kAccountAnswerSize))
        << host;
    EXPECT_EQ(answer, "") << host;
  }
}

}  // namespace
}  // namespace brovana
