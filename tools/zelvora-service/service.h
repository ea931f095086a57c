#pragma once
// The emulated Zelvora service: member accounts, the CGI endpoints the studio calls, the genre
// list and names file it downloads, and views of what it was told (/status, /status.json).
// Deliberately independent of the studio's own code, so that the two do not share mistakes.

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace zelvora {

// Ways an account's requests can be made to misbehave.
struct Faults {
  int bcinfoCode = 0;  // non-zero: bcinfo answers only this code
  int djinfoCode = 0;  // non-zero: djinfo answers only this code
  int errorPage = 0;   // 1: bcinfo answers an error page; 2: djinfo does too
  bool refuseLogin = false;
  int delayMs = 0;  // every answer about the account waits this long
  int pad = 0;      // bytes added after every answer about the account
};

struct Account {
  std::string name;
  std::string password;
  std::string mode = "LI";  // LI, OR or RE
  bool serverOn = false;
  bool broadcaster = true;
  int listeners = 0;
  int limit = 100;
  int minutes = 0;
  double rating = 0;
  std::string host;  // empty: the service's broadcast host
  int port = 0;      // the source port; 0: the service's broadcast port
  Faults faults;
  std::set<std::string> sessions;
};

struct Settings {
  std::string broadcastHost = "127.0.0.1";
  int broadcastPort = 8001;  // the source port; bcinfo names the listener port below it
  std::string checkversion = "0";
  std::string hostplayName = "Hostplay";
  std::vector<std::string> genres;  // empty: the built-in list
  int delayMs = 0;
  int pad = 0;
};

class Service {
 public:
  explicit Service(Settings settings);

  // Each returns an error text, empty on success.
  std::string addAccountOption(const std::string& given);  // NAME:PASSWORD[:MODE]
  std::string loadAccounts(const std::string& path);
  std::string loadGenres(const std::string& path);

  void install(httplib::Server& server);
  // Wakes the answers that are being held back, so that the server can stop at once.
  void shutdown();

  static std::string helpText();

 private:
  struct Reply {
    int status = 200;
    std::string body;
    std::string type = "text/plain";
    int delayMs = 0;
    int pad = 0;
  };
  using Params = std::multimap<std::string, std::string>;

  void serve(const httplib::Request& request, httplib::Response& response, Reply reply);
  static std::string param(const httplib::Request& request, const char* name);

  // Under the lock.
  Account* find(const std::string& name);
  Reply aboutAccount(Account* account, std::string body);
  std::string setAccountValue(Account& account, const std::string& key, const std::string& value);
  std::string setGlobalValue(const std::string& key, const std::string& value);
  std::string accountLine(const Account& account) const;
  std::string newSession();

  Reply bcinfo(const httplib::Request& request);
  Reply djinfo(const httplib::Request& request);
  Reply livelogin(const httplib::Request& request);
  Reply netcast(const httplib::Request& request);
  Reply serverSwitch(const httplib::Request& request);
  Reply addSong(const httplib::Request& request);
  Reply checkversion(const httplib::Request& request);
  Reply script(const std::string& name);
  Reply control(const httplib::Request& request);
  std::string statusJson();
  std::string statusHtml();

  struct Record {
    bool accepted = false;
    std::vector<std::pair<std::string, std::string>> fields;
  };
  struct Seen {
    std::string target;
    std::string agent;
  };

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  Settings settings_;
  std::vector<Account> accounts_;
  std::vector<Record> songs_;
  std::vector<Record> versionChecks_;
  std::deque<Seen> requests_;
  std::mt19937_64 random_;
};

}  // namespace zelvora
