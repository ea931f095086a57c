// The HTTP client of the web service over real HTTP against the service emulator on a loopback port.

#include "net/web_service.h"

#include <gtest/gtest.h>

#include "platform/curl_http_client.h"
#include "support/service_emulator.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

TEST(CurlHttpClientAgainstEmulator, HttpGetKeepsItsRules) {
  test::ServiceEmulator service{{.accounts = {"ana:s3cret:LI"}}};
  ASSERT_TRUE(service.ready()) << "emulator log: " << service.logFile();
  CurlHttpClient http;
  auto lastRequest = [&] {  // the request before the view that reports it
    auto seen = service.records("requests");
    return seen.size() >= 2 ? seen[seen.size() - 2] : test::EmulatorRecord{};
  };
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

  // A service that does not answer in time, and a host name that is none, give false and no text
  // (one that is not there is the studio's test).
  ASSERT_TRUE(service.control({{"account", "ana"}, {"pad", "0"}, {"delay", "3000"}}));
  CurlHttpClient impatient(CurlHttpClient::Limits{1000ms, 300ms});
  for (auto [client, host] : {std::pair{&impatient, service.webHost()}, {&http, std::string("bad host/x")}}) {
    answer = "stale";
    EXPECT_FALSE(client->get(host, "ana", "/cgi-bin/bcinfo.cgi?membername=ana&password=s3cret&version=2",
                             answer, kAccountAnswerSize))
        << host;
    EXPECT_EQ(answer, "") << host;
  }
}

}  // namespace
}  // namespace brovana
