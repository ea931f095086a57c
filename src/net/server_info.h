#pragma once
// What the service says about the member's account and broadcast server, with the member's
// credentials and session id. A fixed record: its layout is the contract with the dialogs and
// the request code that fill it. A new record is all zeros: no facts, empty texts.

#include <cstdint>

namespace brovana {

enum AccountMode : int32_t { kModeNone = 0, kModeHostplay = 1, kModeLive = 2, kModeRegular = 3 };

struct ServerInfo {
  uint8_t serverOn = 0;     // bcinfo said "ON"
  int32_t accountMode = 0;  // AccountMode: 1 "OR" (Hostplay), 2 "LI", 3 "RE"
  int32_t listeners = 0;    // never negative
  int32_t maxListeners = 0;
  int32_t avgListenMinutes = 0;
  float rating = 0;
  char host[256] = {};  // broadcast server host or dotted IPv4 address
  int32_t port = 0;     // the source port: one above the listener port bcinfo names
  char pass[100] = {};
  char sessionid[100] = {};  // empty until the first accepted livelogin
  char username[100] = {};
};

}  // namespace brovana
