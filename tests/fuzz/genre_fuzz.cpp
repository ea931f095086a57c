// The station genre list reader on any text, and both ways of filling the pickers from it.

#include <cstdint>
#include <string_view>

#include "playlist/genre_list.h"

namespace {

struct CountingPicker : brovana::GenrePicker {
  void clear() override { count = 0; }
  void add(const std::string& name) override {
    if (name.size() > 25) __builtin_trap();
    ++count;
  }
  void select(int) override {}
  int count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  brovana::GenreList list = brovana::GenreList::parse(text);
  if (list.entries().size() > 5000) __builtin_trap();  // at most one entry per two bytes read
  CountingPicker a, b, c;
  int first = size > 0 ? data[0] % 8 : 0, second = size > 1 ? data[1] % 8 : 0;
  list.fillByNumbers(first, second, a, b, c);
  auto name = [&](size_t i) { return i < list.entries().size() ? list.entries()[i].name : std::string(); };
  list.fillByNames(name(0), name(1), name(2), a, b, c);
  return 0;
}
