// The checks of the Broadcast Information dialog and of the setup wizard's pages, against the
// web service client answering from a fake HTTP client; the dialog's genre lists and the
// wizard's way through its pages. `--configure` runs the same login check
// (tests/unit/app/app_test.cpp).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "broadcast/broadcast_info.h"
#include "broadcast/wizard_path.h"
#include "net/server_link.h"
#include "net/web_account_service.h"
#include "support/fake_http_client.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

constexpr const char* kLive = "0 LI OFF 0 100 0 0 127.0.0.1 8000";
constexpr const char* kHostplay = "0 OR OFF 0 100 0 0";

struct FakeDesk final : StationDesk {
  FakeDesk(Prompts& prompts, AccountService& accounts) : shown(prompts), service(accounts) {}
  Prompts& prompts() override { return shown; }
  AccountService& accounts() override { return service; }
  int liveSwitchWaitSeconds() const override { return 0; }
  std::string hostplayName() override { return "HOSTPLAY"; }
  void endProgram() override { ended = true; }
  bool broadcasting() const override { return onAir; }
  void restartBroadcast() override { ++restarts; }
  void saveSettings() override { ++saves; }
  void await(const std::function<void()>& work) override { work(); }

  Prompts& shown;
  AccountService& service;
  bool onAir = false, ended = false;
  int restarts = 0, saves = 0;
};

// The station "dj" has on the air, and everything the checks talk to.
struct Station {
  explicit Station(const char* bcinfo = kLive) {
    http.answer("/cgi-bin/bcinfo.cgi?membername=dj&password=wrong", "-2");
    http.answer("/cgi-bin/bcinfo.cgi", bcinfo);
    http.answer("/cgi-bin/livelogin.cgi", "0 SESSION1");
    http.answer("/cgi-bin/netcast.cgi", "0");
    connection.setMemberName("dj"), connection.setPassword("pw"), connection.setMessage("Night show");
    connection.setUrl("night.example"), connection.setGenre(0, "Jazz");
  }
  // Whether the account was checked with these credentials (the password form of bcinfo).
  bool verified(const std::string& member, const std::string& password) const {
    std::string asked = "/cgi-bin/bcinfo.cgi?membername=" + member + "&password=" + password + "&version=";
    std::vector<std::string> paths = http.paths();
    return std::any_of(paths.begin(), paths.end(), [&](auto& path) { return path.starts_with(asked); });
  }

  test::FakeHttpClient http;
  test::FakePrompts prompts;
  WebService web{http, "127.0.0.1:9"};
  WebAccountService accounts{web};
  ServerLink connection{"127.0.0.1:9", nullptr, accounts, prompts};
  FakeDesk desk{prompts, accounts};
};

TEST(BroadcastInfoDialog, OkChecksAppliesAndSaves) {
  struct Row {
    std::string StationForm::*field;  // what the member changed (null: the second genre)
    std::string value;
    const char* lastBox;  // empty: none
    bool closes, saved;
    std::string message = "Night show";  // the description afterwards
    bool onAir = false;                  // a broadcast runs; the restart is agreed to
    const char* bcinfo = kLive;
  };
  using F = StationForm;
  const std::string url250 = "http://" + std::string(243, 'u');
  Row rows[] = {
      {nullptr, "", "", true, false},  // no change: checked with the service, closed unsaved
      {&F::member, "", "You must supply a username", false, false},
      {&F::password, "", "You must supply a password", false, false},
      {&F::password, "wrong", "Unable to log into your account. Are your username and password correct?",
       false, false},
      {&F::title, "", "You must supply a broadcast description", false, false},
      {&F::url, "", "No URL supplied!", false, false},
      {&F::url, url250, "", true, true},
      {&F::url, url250 + "u", "The URL is too long!", false, false},
      {&F::password, "new", "", true, true},
      {nullptr, "Blues", "", true, true},  // a genre added and nothing else
      {&F::title, "Welcome to my show!", "", true, true, "Welcome to the dj show!"},
      {&F::title, "Day show", "", true, true, "Day show", true},                 // restarted on the air
      {&F::title, "Day show", "", true, false, "Night show", false, kHostplay},  // Hostplay, not continued
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value + row.lastBox);
    Station station(row.bcinfo);
    station.desk.onAir = row.onAir;
    if (row.bcinfo == kHostplay) station.prompts.answerNext(false);  // "...Do you want to continue?"
    StationForm form = stationForm(station.connection, station.prompts);
    (row.field ? form.*row.field : form.genres[1]) = row.value;
    bool hidden = false;
    EXPECT_EQ(acceptStationForm(form, station.connection, station.desk, [&] { hidden = true; }), row.closes);
    std::vector<std::string> boxes = station.prompts.boxTexts();
    EXPECT_EQ(std::tuple(boxes.empty() ? "" : boxes.back(), station.desk.saves, station.connection.message(),
                         station.desk.restarts, hidden, station.desk.ended),
              std::tuple(row.lastBox, row.saved, row.message, row.onAir, row.onAir, row.bcinfo == kHostplay));
    EXPECT_EQ(station.connection.pass(), row.saved ? form.password : "pw") << "refused ones are never kept";
    EXPECT_EQ(station.verified(form.member, form.password), !form.member.empty() && !form.password.empty());
  }
}

TEST(BroadcastInfoDialog, StoredSpeedsPickTheirEntries) {
  // line speed, output, the entries picked, boxes shown
  for (auto [lineSpeed, bitrate, connection, output, boxes] : {std::tuple{64000, 32000, 0, 1, 0u},
                                                               {14400, 16000, 0, 3, 1u},
                                                               {56000, 24000, 1, 1, 0u},
                                                               {28800, 56000, 3, 0, 0u}}) {
    Station station;
    station.connection.setLineSpeed(lineSpeed);
    station.connection.setOutputBitrate(bitrate);
    StationForm form = stationForm(station.connection, station.prompts);
    EXPECT_EQ(std::tuple(form.connection, form.output, station.prompts.boxTexts().size()),
              std::tuple(connection, output, boxes))
        << lineSpeed;
  }
}

TEST(BroadcastInfoDialog, GenresPickTheFirstNameTheyBeginOrFallBack) {
  using Genres = std::array<std::string, 3>;
  using Chosen = std::array<int, 3>;
  const std::vector<std::string> names = {"Acid Jazz", "Blues", "Jazz", "Jazz Funk", "Various"};
  const std::tuple<std::vector<std::string>, Genres, Chosen> cases[] = {
      {names, {"jAZZ", "blues", "Jazz F"}, {2, 1, 3}},  // the beginning of a name, regardless of case
      {names, {"Polka", "Polka", "Jazz"}, {4, -1, 2}},  // the first list falls back on "various"
      {names, {"Blues", "", ""}, {1, -1, -1}},          // genres not set show nothing
      {names, {"", "", ""}, {0, -1, -1}},               // every name begins with no text at all
      {{"Acid Jazz", "Blues"}, {"Polka", "", ""}, {-1, -1, -1}},  // without "various", nothing
      {{}, {"Jazz", "Jazz", "Jazz"}, {-1, -1, -1}},
  };
  for (const auto& [table, genres, chosen] : cases)
    EXPECT_EQ(genreChoices(table, genres), chosen) << genres[0];
}

// Next walks a run's pages in their order up to Done, and Back walks them back to where the run
// began; neither goes past an end, and from the start the way opens again. Each page shows Back
// where a page lies behind it (but on the login page, whose way back is not shown), Next where a
// page follows, and Finish at the end. A page shown alone has none behind it.
TEST(SetupWizard, NextAndBackWalkThePagesInOrderAndEachShowsItsButtons) {
  using enum WizardPage;
  const std::pair<bool, std::vector<WizardPage>> runs[] = {
      {true, {FirstRun, Login, Title, Url, Connection, AddFiles, Done}},
      {false, {Login, Title, Url, Connection, Done}}};
  for (const auto& [firstRun, pages] : runs) {
    WizardPath path;
    path.start(firstRun);
    const size_t last = pages.size() - 1;
    // The page and its buttons (Back, Next, Finish) as shown, and as they should be at `at`.
    auto shown = [&] {
      return std::to_string(static_cast<int>(path.page())) + (path.showsBack() ? "B" : "-") +
             (path.showsNext() ? "N" : "-") + (path.showsFinish() ? "F" : "-");
    };
    auto page = [&](size_t at) {
      return std::to_string(static_cast<int>(pages[at])) + (at > 0 && pages[at] != Login ? "B" : "-") +
             (at < last ? "N" : "-") + (at == last ? "F" : "-");
    };
    auto step = [&](bool next, size_t to) {
      EXPECT_TRUE(next ? path.next() : path.back()) << "first run " << firstRun << ", to " << to;
      EXPECT_EQ(shown(), page(to)) << "first run " << firstRun;
    };
    EXPECT_EQ(shown(), page(0));
    EXPECT_FALSE(path.back());
    for (size_t at = 1; at <= last; ++at) step(true, at);
    EXPECT_FALSE(path.next()) << "nothing follows Done";
    for (size_t at = last; at-- > 0;) step(false, at);
    EXPECT_FALSE(path.back()) << "nothing lies before the start";
    step(true, 1);
  }
  WizardPath alone;
  alone.showOnly(WizardPage::Title);
  EXPECT_FALSE(alone.back());
}

TEST(SetupWizard, PageChecks) {
  Station station(kHostplay);
  test::FakePrompts& prompts = station.prompts;
  auto login = [&](const char* member, const char* password = "pw") {
    return checkLogin(member, password, station.connection, station.accounts, prompts, 0);
  };
  const std::tuple<const char*, const char*, LoginCheck, std::string> refusals[] = {
      {"", "pw", LoginCheck::Incomplete, "You need to enter a valid username"},
      {"dj", "", LoginCheck::Incomplete, "You need to enter a password"},
      {"dj", "wrong", LoginCheck::Refused,
       "Unable to log in, either your username or password are incorrect (passwords are case-sensitive), "
       "try again"}};
  for (const auto& [member, password, check, box] : refusals) {
    EXPECT_EQ(login(member, password), check) << member << "/" << password;
    EXPECT_EQ(prompts.boxTexts().back(), box);
  }
  prompts.answerNext(false);
  EXPECT_EQ(login("dj"), LoginCheck::NotSwitched) << "the member keeps the account in Hostplay mode";
  EXPECT_EQ(prompts.questions().back().text,
            "This account, dj, is currently set up for Hostplay. Do you want switch this to broadcast Live?");

  EXPECT_FALSE(checkTitle(kTitlePlaceholder, true, prompts));
  EXPECT_EQ(
      prompts.boxTexts().back(),
      "You must enter a description of your broadcast. This is what will show up in the Zelvora directory.");
  EXPECT_FALSE(checkTitle("Night show", false, prompts));
  EXPECT_EQ(prompts.boxTexts().back(), "You must select at least one genre.");
  EXPECT_FALSE(checkTitle("", true, prompts)) << "an empty title is no description";
  prompts.answerNext(false);
  EXPECT_FALSE(checkTracks(0, prompts));
  EXPECT_EQ(prompts.questions().back().text,
            "Are you sure you want to continue without adding any tracks to your playlist?");
}

}  // namespace
}  // namespace brovana
