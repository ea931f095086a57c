#include "service.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zelvora {
namespace {

// Station genres as the service's directory lists them.
const char* const kGenres[] = {
    "Acid Jazz",     "Alternative", "Ambient",        "Americana",   "Big Band",      "Bluegrass",
    "Blues",         "Bossa Nova",  "Breakbeat",      "Celtic",      "Chamber Music", "Children's",
    "Chillout",      "Christian",   "Classic Rock",   "Classical",   "Club",          "Comedy",
    "Country",       "Dance",       "Dancehall",      "Deep House",  "Disco",         "Downtempo",
    "Drum and Bass", "Dub",         "Easy Listening", "Electronic",  "Experimental",  "Flamenco",
    "Folk",          "Funk",        "Fusion",         "Garage",      "Gospel",        "Goth",
    "Grunge",        "Hard Rock",   "Hardcore",       "Heavy Metal", "Hip Hop",       "House",
    "Indie",         "Industrial",  "Instrumental",   "Jazz",        "Jungle",        "Klezmer",
    "Latin",         "Lounge",      "Merengue",       "Metal",       "Motown",        "New Age",
    "New Wave",      "News",        "Noise",          "Oldies",      "Opera",         "Polka",
    "Pop",           "Progressive", "Psychedelic",    "Punk",        "R&B",           "Rap",
    "Reggae",        "Rock",        "Rockabilly",     "Salsa",       "Samba",         "Ska",
    "Soul",          "Soundtrack",  "Spoken Word",    "Sports",      "Swing",         "Synthpop",
    "Talk",          "Tango",       "Techno",         "Trance",      "Trip Hop",      "World",
    "Zydeco",
};

// What a failing CGI of the service answers: an HTML page, far longer than an answer line.
const char* const kErrorPage =
    "<HTML><HEAD><TITLE>500 Internal Server Error</TITLE></HEAD>\n"
    "<BODY><H1>Internal Server Error</H1>\n"
    "The server encountered an internal error or misconfiguration and was unable to complete your request.\n"
    "</BODY></HTML>\n";
// What djinfo answers when it fails too: only the page's closing tags.
const char* const kShortErrorPage = "</BODY></HTML>\n";

std::string jsonText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string htmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool parseNumber(const std::string& text, int& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || value < -1000000000L || value > 1000000000L) return false;
  out = static_cast<int>(value);
  return true;
}

bool parseFlag(const std::string& text, bool& out) {
  if (text == "1" || text == "yes" || text == "true" || text == "ON" || text == "on") {
    out = true;
    return true;
  }
  if (text == "0" || text == "no" || text == "false" || text == "OFF" || text == "off") {
    out = false;
    return true;
  }
  return false;
}

std::string fixedOne(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

Service::Service(Settings settings) : settings_(std::move(settings)), random_(std::random_device{}()) {}

std::string Service::helpText() {
  return R"(Usage: zelvora-service --port N [options]

An emulator of the Zelvora service's web API on 127.0.0.1, for the tests, the demo and
development of Brovana-Live (run the studio with -host 127.0.0.1:N). Each request is logged to
standard error; SIGTERM or SIGINT stops it.

Options:
  --port N                 listen on 127.0.0.1:N (required)
  --accounts FILE          members, one a line (below)
  --account NAME:PASSWORD[:MODE]
                           one more member; MODE is LI (live, default), OR (Hostplay) or RE
  --broadcast-host H       the broadcast server that bcinfo names (default 127.0.0.1)
  --broadcast-port P       its source port (default 8001); bcinfo names the listener port P-1
  --checkversion TEXT      the checkversion answer (default "0"; e.g. "1,http://host/get.html")
  --hostplay-name TEXT     HOSTPLAYNAME in /scripts/brovana_live.ini (default "Hostplay")
  --genres FILE            the genre list served, one name a line (default: built in)
  --help                   this text

Accounts file: "#" starts a comment; each other line is
  NAME PASSWORD [KEY=VALUE ...]
with the keys
  mode=LI|OR|RE   server=ON|OFF   broadcaster=yes|no   listeners=N   limit=N   minutes=N
  rating=X.Y   host=H   port=P (source port; default: the broadcast host and port)
and the misbehaviours
  bcinfo-code=N        bcinfo answers only N (-1, -2, -3, -4)
  djinfo-code=N        djinfo answers only N
  error-page=none|bcinfo|both
                       bcinfo answers a long HTML error page (both: djinfo answers
                       "</BODY></HTML>")
  login=accept|refuse  livelogin refuses even the right password
  delay=MS             every answer about the account waits MS milliseconds
  pad=N                every answer about the account gets N more bytes after its line

Endpoints: /cgi-bin/livelogin.cgi, bcinfo.cgi, djinfo.cgi, netcast.cgi, switch.cgi,
add_song.cgi, checkversion.cgi; /scripts/genredata.js, /scripts/brovana_live.ini.

Views and control:
  /status          HTML page: accounts, announced titles (newest last), version checks
  /status.json     the same as JSON: {"accounts":[...], "songs":[{"accepted":B,
                   "fields":{...query...}}], "checkversion":[{"fields":{...}}],
                   "requests":[{"target":T,"agent":A}]} (the last 500 requests)
  /control?account=NAME&KEY=VALUE...
                   changes a member with the keys above (password=P creates it)
                   sessions=clear forgets its session ids
  /control?KEY=VALUE...
                   service-wide: checkversion=TEXT, hostplay-name=TEXT,
                   broadcast-host=H, broadcast-port=P, delay=MS, pad=N, songs=clear
  Control answers "OK" or "error: ..." with status 400.
)";
}

Account* Service::find(const std::string& name) {
  for (Account& a : accounts_)
    if (a.name == name) return &a;
  return nullptr;
}

std::string Service::addAccountOption(const std::string& given) {
  size_t first = given.find(':');
  if (first == std::string::npos || first == 0) return "expected NAME:PASSWORD[:MODE]: " + given;
  Account account;
  account.name = given.substr(0, first);
  std::string rest = given.substr(first + 1);
  size_t last = rest.rfind(':');
  if (last != std::string::npos) {
    std::string mode = rest.substr(last + 1);
    if (mode != "LI" && mode != "OR" && mode != "RE") return "the mode must be LI, OR or RE: " + given;
    account.mode = mode;
    rest.resize(last);
  }
  account.password = rest;
  std::lock_guard lock(mutex_);
  if (find(account.name)) return "member named twice: " + account.name;
  accounts_.push_back(std::move(account));
  return {};
}

std::string Service::loadAccounts(const std::string& path) {
  std::ifstream in(path);
  if (!in) return "cannot read " + path;
  std::string line;
  int number = 0;
  std::lock_guard lock(mutex_);
  while (std::getline(in, line)) {
    ++number;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    Account account;
    if (!(words >> account.name)) continue;
    auto where = [&] { return path + ":" + std::to_string(number) + ": "; };
    if (!(words >> account.password)) return where() + "a member needs a password";
    if (find(account.name)) return where() + "member named twice: " + account.name;
    std::string item;
    while (words >> item) {
      size_t eq = item.find('=');
      if (eq == std::string::npos) return where() + "expected KEY=VALUE: " + item;
      std::string error = setAccountValue(account, item.substr(0, eq), item.substr(eq + 1));
      if (!error.empty()) return where() + error;
    }
    accounts_.push_back(std::move(account));
  }
  return {};
}

std::string Service::loadGenres(const std::string& path) {
  std::ifstream in(path);
  if (!in) return "cannot read " + path;
  std::vector<std::string> names;
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) names.push_back(line);
  }
  std::lock_guard lock(mutex_);
  settings_.genres = std::move(names);
  return {};
}

std::string Service::setAccountValue(Account& a, const std::string& key, const std::string& value) {
  bool ok = true;
  if (key == "password") {
    a.password = value;
  } else if (key == "mode") {
    ok = value == "LI" || value == "OR" || value == "RE";
    if (ok) a.mode = value;
  } else if (key == "server") {
    ok = parseFlag(value, a.serverOn);
  } else if (key == "broadcaster") {
    ok = parseFlag(value, a.broadcaster);
  } else if (key == "listeners") {
    ok = parseNumber(value, a.listeners);
  } else if (key == "limit") {
    ok = parseNumber(value, a.limit);
  } else if (key == "minutes") {
    ok = parseNumber(value, a.minutes);
  } else if (key == "rating") {
    char* end = nullptr;
    double rating = std::strtod(value.c_str(), &end);
    ok = !value.empty() && *end == '\0';
    if (ok) a.rating = rating;
  } else if (key == "host") {
    a.host = value;
  } else if (key == "port") {
    ok = parseNumber(value, a.port) && a.port >= 0 && a.port <= 65535;
  } else if (key == "bcinfo-code") {
    ok = parseNumber(value, a.faults.bcinfoCode);
  } else if (key == "djinfo-code") {
    ok = parseNumber(value, a.faults.djinfoCode);
  } else if (key == "error-page") {
    ok = value == "none" || value == "bcinfo" || value == "both";
    if (ok) a.faults.errorPage = value == "none" ? 0 : value == "bcinfo" ? 1 : 2;
  } else if (key == "login") {
    ok = value == "accept" || value == "refuse";
    if (ok) a.faults.refuseLogin = value == "refuse";
  } else if (key == "delay") {
    ok = parseNumber(value, a.faults.delayMs) && a.faults.delayMs >= 0;
  } else if (key == "pad") {
    ok = parseNumber(value, a.faults.pad) && a.faults.pad >= 0 && a.faults.pad <= 1000000;
  } else if (key == "sessions") {
    ok = value == "clear";
    if (ok) a.sessions.clear();
  } else {
    return "unknown key " + key;
  }
  return ok ? std::string() : "bad value for " + key + ": " + value;
}

std::string Service::setGlobalValue(const std::string& key, const std::string& value) {
  bool ok = true;
  if (key == "checkversion") {
    settings_.checkversion = value;
  } else if (key == "hostplay-name") {
    settings_.hostplayName = value;
  } else if (key == "broadcast-host") {
    settings_.broadcastHost = value;
  } else if (key == "broadcast-port") {
    ok = parseNumber(value, settings_.broadcastPort) && settings_.broadcastPort > 0 &&
         settings_.broadcastPort <= 65535;
  } else if (key == "delay") {
    ok = parseNumber(value, settings_.delayMs) && settings_.delayMs >= 0;
  } else if (key == "pad") {
    ok = parseNumber(value, settings_.pad) && settings_.pad >= 0 && settings_.pad <= 1000000;
  } else if (key == "songs") {
    ok = value == "clear";
    if (ok) songs_.clear();
  } else {
    return "unknown key " + key;
  }
  return ok ? std::string() : "bad value for " + key + ": " + value;
}

std::string Service::newSession() {
  char text[32];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(random_()));
  return text;
}

std::string Service::param(const httplib::Request& request, const char* name) {
  return request.has_param(name) ? request.get_param_value(name) : std::string();
}

Service::Reply Service::aboutAccount(Account* account, std::string body) {
  Reply reply;
  reply.body = std::move(body);
  reply.delayMs = settings_.delayMs + (account ? account->faults.delayMs : 0);
  reply.pad = settings_.pad + (account ? account->faults.pad : 0);
  return reply;
}

// "0 LI ON 3 100 12 4.5 127.0.0.1 8000": code, mode, server, listeners, limit, minutes, rating,
// then, unless the account is in Hostplay mode, the server's host and listener port.
std::string Service::accountLine(const Account& a) const {
  std::string line = "0 " + a.mode + (a.serverOn ? " ON " : " OFF ") + std::to_string(a.listeners) + " " +
                     std::to_string(a.limit) + " " + std::to_string(a.minutes) + " " + fixedOne(a.rating);
  if (a.mode != "OR") {
    const std::string& host = a.host.empty() ? settings_.broadcastHost : a.host;
    int port = a.port ? a.port : settings_.broadcastPort;
    line += " " + host + " " + std::to_string(port - 1);
  }
  return line + "\n";
}

Service::Reply Service::bcinfo(const httplib::Request& request) {
  std::lock_guard lock(mutex_);
  Account* a = find(param(request, "membername"));
  if (a && a->faults.errorPage) {
    Reply reply = aboutAccount(a, kErrorPage);
    reply.status = 500;
    reply.type = "text/html";
    return reply;
  }
  if (a && a->faults.bcinfoCode) return aboutAccount(a, std::to_string(a->faults.bcinfoCode) + "\n");
  if (!a) return aboutAccount(nullptr, "-2\n");
  if (request.has_param("sessionid")) {
    // A session the service does not know (expired, or from another run) is a plain failure.
    if (!a->sessions.count(param(request, "sessionid"))) return aboutAccount(a, "-1\n");
  } else if (param(request, "password") != a->password) {
    return aboutAccount(a, "-2\n");
  }
  if (!a->broadcaster) return aboutAccount(a, "-4\n");
  return aboutAccount(a, accountLine(*a));
}

Service::Reply Service::djinfo(const httplib::Request& request) {
  std::lock_guard lock(mutex_);
  Account* a = find(param(request, "membername"));
  if (a && a->faults.errorPage == 2) {
    Reply reply = aboutAccount(a, kShortErrorPage);
    reply.type = "text/html";
    return reply;
  }
  if (a && a->faults.djinfoCode) return aboutAccount(a, std::to_string(a->faults.djinfoCode) + "\n");
  if (!a || param(request, "password") != a->password) return aboutAccount(a, "-1\n");
  if (!a->broadcaster) return aboutAccount(a, "-4\n");
  return aboutAccount(a, accountLine(*a));
}

Service::Reply Service::livelogin(const httplib::Request& request) {
  std::lock_guard lock(mutex_);
  Account* a = find(param(request, "membername"));
  if (!a || a->faults.refuseLogin || param(request, "password") != a->password)
    return aboutAccount(a, "-1 login refused\n");
  std::string session = newSession();
  a->sessions.insert(session);
  return aboutAccount(a, "0 " + session + "\n");
}

Service::Reply Service::netcast(const httplib::Request& request) {
  std::lock_guard lock(mutex_);
  Account* a = find(param(request, "membername"));
  if (!a || param(request, "password") != a->password) return aboutAccount(a, "-1\n");
  if (!a->broadcaster) return aboutAccount(a, "-4\n");
  if (param(request, "action") != "switch") return aboutAccount(a, "-3\n");
  std::string stream = param(request, "stream");
  if (stream == "live")
    a->mode = "LI";
  else if (stream == "hostplay")
    a->mode = "OR";
  else
    return aboutAccount(a, "-2\n");
  return aboutAccount(a, "0\n");
}

Service::Reply Service::serverSwitch(const httplib::Request& request) {
  std::lock_guard lock(mutex_);
  Account* a = find(param(request, "membername"));
  if (!a || param(request, "password") != a->password) return aboutAccount(a, "-1\n");
  std::string action = param(request, "action");
  if (action != "ON" && action != "OFF") return aboutAccount(a, "-2\n");
  a->serverOn = action == "ON";
  return aboutAccount(a, "0\n");
}

Service::Reply Service::addSong(const httplib::Request& request) {
  std::lock_guard lock(mutex_);
  Account* a = find(param(request, "handle"));
  Record record;
  record.accepted = a && param(request, "pass") == a->password;
  for (const auto& [key, value] : request.params) {
    bool seen = false;
    for (const auto& field : record.fields) seen = seen || field.first == key;
    if (!seen) record.fields.emplace_back(key, value);
  }
  songs_.push_back(std::move(record));
  return aboutAccount(a, songs_.back().accepted ? "0\n" : "-1\n");
}

Service::Reply Service::checkversion(const httplib::Request& request) {
  std::lock_guard lock(mutex_);
  Record record;
  record.accepted = true;
  for (const auto& [key, value] : request.params) record.fields.emplace_back(key, value);
  versionChecks_.push_back(std::move(record));
  return aboutAccount(nullptr, settings_.checkversion + "\n");
}

Service::Reply Service::script(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (name == "genredata.js") {
    std::string body =
        "// Station genres of the Zelvora directory, for the studio's drop-down lists.\n"
        "// START GENRE LIST\n"
        "var zelvoraGenres = new Array(\n";
    if (settings_.genres.empty())
      for (const char* genre : kGenres) body += std::string("\"") + genre + "\",\n";
    else
      for (const std::string& genre : settings_.genres) body += "\"" + genre + "\",\n";
    body += "// END GENRE LIST\n\"\");\n";
    Reply reply = aboutAccount(nullptr, std::move(body));
    reply.type = "application/javascript";
    return reply;
  }
  if (name == "brovana_live.ini") {
    return aboutAccount(nullptr,
                        "; Names the studio shows for the service's modes.\r\n[names]\r\nHOSTPLAYNAME=" +
                            settings_.hostplayName + "\r\n");
  }
  Reply reply = aboutAccount(nullptr,
                             "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>\n<BODY><H1>Not Found</H1>\n"
                             "The requested URL was not found on this server.\n</BODY></HTML>\n");
  reply.status = 404;
  reply.type = "text/html";
  return reply;
}

Service::Reply Service::control(const httplib::Request& request) {
  std::lock_guard lock(mutex_);
  Reply reply;
  auto fail = [&](const std::string& error) {
    reply.status = 400;
    reply.body = "error: " + error + "\n";
    return reply;
  };
  if (request.has_param("account")) {
    std::string name = param(request, "account");
    if (name.empty()) return fail("empty member name");
    Account* a = find(name);
    Account created;
    if (!a) {
      if (!request.has_param("password")) return fail("no member " + name + " (give password= to create it)");
      created.name = name;
      a = &created;
    }
    // Check every value on a copy first, so that a bad one changes nothing.
    Account changed = *a;
    for (const auto& [key, value] : request.params) {
      if (key == "account") continue;
      std::string error = setAccountValue(changed, key, value);
      if (!error.empty()) return fail(error);
    }
    if (a == &created)
      accounts_.push_back(std::move(changed));
    else
      *a = std::move(changed);
  } else {
    Settings before = settings_;
    for (const auto& [key, value] : request.params) {
      std::string error = setGlobalValue(key, value);
      if (!error.empty()) {
        settings_ = std::move(before);
        return fail(error);
      }
    }
  }
  reply.body = "OK\n";
  return reply;
}

std::string Service::statusJson() {
  std::lock_guard lock(mutex_);
  auto records = [](const std::vector<Record>& list) {
    std::string out = "[";
    for (size_t i = 0; i < list.size(); ++i) {
      out += i ? ",\n  " : "\n  ";
      out += std::string("{\"accepted\":") + (list[i].accepted ? "true" : "false") + ",\"fields\":{";
      for (size_t f = 0; f < list[i].fields.size(); ++f)
        out += (f ? "," : "") + jsonText(list[i].fields[f].first) + ":" + jsonText(list[i].fields[f].second);
      out += "}}";
    }
    return out + "]";
  };
  std::string out = "{\"accounts\":[";
  for (size_t i = 0; i < accounts_.size(); ++i) {
    const Account& a = accounts_[i];
    out += i ? ",\n  " : "\n  ";
    out += "{\"name\":" + jsonText(a.name) + ",\"password\":" + jsonText(a.password) +
           ",\"mode\":" + jsonText(a.mode) + ",\"server\":" + jsonText(a.serverOn ? "ON" : "OFF") +
           ",\"broadcaster\":" + (a.broadcaster ? "true" : "false") +
           ",\"listeners\":" + std::to_string(a.listeners) + ",\"limit\":" + std::to_string(a.limit) +
           ",\"minutes\":" + std::to_string(a.minutes) + ",\"rating\":" + fixedOne(a.rating) +
           ",\"host\":" + jsonText(a.host.empty() ? settings_.broadcastHost : a.host) +
           ",\"port\":" + std::to_string(a.port ? a.port : settings_.broadcastPort) +
           ",\"sessions\":" + std::to_string(a.sessions.size()) + "}";
  }
  out += "],\n\"songs\":" + records(songs_) + ",\n\"checkversion\":" + records(versionChecks_) +
         ",\n\"requests\":[";
  for (size_t i = 0; i < requests_.size(); ++i)
    out += std::string(i ? ",\n  " : "\n  ") + "{\"target\":" + jsonText(requests_[i].target) +
           ",\"agent\":" + jsonText(requests_[i].agent) + "}";
  return out + "]}\n";
}

std::string Service::statusHtml() {
  std::lock_guard lock(mutex_);
  std::string out =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Zelvora service "
      "emulator</title></head><body>\n"
      "<h1>Zelvora service emulator</h1>\n<h2>Members</h2>\n<table border=\"1\">\n"
      "<tr><th>Member</th><th>Mode</th><th>Server</th><th>Broadcaster</th><th>Listeners</th><th>Limit</th>"
      "<th>Minutes</th><th>Rating</th><th>Broadcast server</th><th>Sessions</th></tr>\n";
  for (const Account& a : accounts_) {
    out += "<tr><td>" + htmlText(a.name) + "</td><td>" + a.mode + "</td><td>" + (a.serverOn ? "ON" : "OFF") +
           "</td><td>" + (a.broadcaster ? "yes" : "no") + "</td><td>" + std::to_string(a.listeners) +
           "</td><td>" + std::to_string(a.limit) + "</td><td>" + std::to_string(a.minutes) + "</td><td>" +
           fixedOne(a.rating) + "</td><td>" + htmlText(a.host.empty() ? settings_.broadcastHost : a.host) +
           ":" + std::to_string(a.port ? a.port : settings_.broadcastPort) + "</td><td>" +
           std::to_string(a.sessions.size()) + "</td></tr>\n";
  }
  out += "</table>\n<h2>Announced titles (newest last)</h2>\n<ol>\n";
  for (const Record& song : songs_) {
    out += "<li>";
    if (!song.accepted) out += "<b>refused</b> ";
    for (const auto& [key, value] : song.fields)
      if (key != "pass") out += htmlText(key) + "=<q>" + htmlText(value) + "</q> ";
    out += "</li>\n";
  }
  out += "</ol>\n<h2>Version checks</h2>\n<ol>\n";
  for (const Record& check : versionChecks_) {
    out += "<li>";
    for (const auto& [key, value] : check.fields) out += htmlText(key) + "=" + htmlText(value) + " ";
    out += "</li>\n";
  }
  return out + "</ol>\n</body></html>\n";
}

void Service::serve(const httplib::Request&, httplib::Response& response, Reply reply) {
  if (reply.delayMs > 0) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(reply.delayMs), [this] { return stopping_; });
  }
  if (reply.pad > 0) reply.body += std::string(static_cast<size_t>(reply.pad), '#');
  response.status = reply.status;
  response.set_content(reply.body, reply.type.c_str());
}

void Service::shutdown() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
}

void Service::install(httplib::Server& server) {
  using httplib::Request;
  using httplib::Response;
  server.set_pre_routing_handler([this](const Request& request, Response&) {
    std::fprintf(stderr, "zelvora-service: %s %s\n", request.method.c_str(), request.target.c_str());
    std::lock_guard lock(mutex_);
    requests_.push_back({request.target, request.get_header_value("User-Agent")});
    if (requests_.size() > 500) requests_.pop_front();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  auto route = [&](const char* path, Reply (Service::*answer)(const Request&)) {
    server.Get(path, [this, answer](const Request& request, Response& response) {
      serve(request, response, (this->*answer)(request));
    });
  };
  route("/cgi-bin/bcinfo.cgi", &Service::bcinfo);
  route("/cgi-bin/djinfo.cgi", &Service::djinfo);
  route("/cgi-bin/livelogin.cgi", &Service::livelogin);
  route("/cgi-bin/netcast.cgi", &Service::netcast);
  route("/cgi-bin/switch.cgi", &Service::serverSwitch);
  route("/cgi-bin/add_song.cgi", &Service::addSong);
  route("/cgi-bin/checkversion.cgi", &Service::checkversion);
  server.Get(R"(/scripts/([^/]+))", [this](const Request& request, Response& response) {
    serve(request, response, script(request.matches[1]));
  });
  server.Get("/control", [this](const Request& request, Response& response) {
    Reply reply = control(request);
    response.status = reply.status;
    response.set_content(reply.body, "text/plain");
  });
  server.Get("/status.json", [this](const Request&, Response& response) {
    response.set_content(statusJson(), "application/json");
  });
  server.Get("/status", [this](const Request&, Response& response) {
    response.set_content(statusHtml(), "text/html; charset=utf-8");
  });
}

}  // namespace zelvora
