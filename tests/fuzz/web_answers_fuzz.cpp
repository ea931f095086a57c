// The service's answers are outside data: every reader must take any bytes without a fault.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "net/web_service.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string answer(reinterpret_cast<const char*>(data), size);
  using namespace brovana;

  for (AccountAnswer kind : {AccountAnswer::Bcinfo, AccountAnswer::Djinfo}) {
    ServerInfo info;
    std::strcpy(info.host, "old.example");
    int result = parseAccountAnswer(answer, kind, info);
    if (result < kBcinfoOk || result > kBcinfoCode3) __builtin_trap();
    if (info.listeners < 0 || info.host[sizeof info.host - 1] != 0) __builtin_trap();
    (void)isErrorPage(answer);
  }

  ServerInfo login;
  parseLoginAnswer(answer, login);
  if (login.sessionid[sizeof login.sessionid - 1] != 0) __builtin_trap();

  if (auto version = parseVersionAnswer(answer); version && version->url.size() > answer.size())
    __builtin_trap();

  std::vector<std::string> names;
  if (parseGenreList(answer, names) && names.size() > kMaxGenres) __builtin_trap();

  (void)queryEscape(answer);
  return 0;
}
