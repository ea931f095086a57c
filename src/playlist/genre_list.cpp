#include "playlist/genre_list.h"

#include <cctype>
#include <climits>
#include <fstream>

namespace brovana {

namespace {

constexpr size_t kMaxFileBytes = 10000;
constexpr size_t kMaxLine = 255;
constexpr size_t kMaxName = 25;

bool isBlank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// "%d": blanks, a sign, at least one digit; saturates instead of overflowing.
bool scanInt(std::string_view text, size_t& pos, int& out) {
  size_t i = pos;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t digits = i;
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    value = std::min<long long>(value * 10 + (text[i] - '0'), INT_MAX);
  if (i == digits) return false;
  out = static_cast<int>(negative ? -value : value);
  pos = i;
  return true;
}

GenreEntry parseEntry(std::string_view line) {
  GenreEntry entry;
  // "%d.%d.%d": each number counts only when the one before it and its full stop were read.
  size_t pos = 0;
  int numbers = 0;
  if (scanInt(line, pos, entry.a)) {
    ++numbers;
    if (pos < line.size() && line[pos] == '.' && scanInt(line, ++pos, entry.b)) {
      ++numbers;
      if (pos < line.size() && line[pos] == '.' && scanInt(line, ++pos, entry.c)) ++numbers;
    }
  }
  entry.level = numbers == 3 ? 2 : numbers == 2 ? 1 : 0;

  // "%*s %25c": skip the first word and the blanks after it, take up to 25 characters.
  size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  while (i < line.size() && !isBlank(line[i])) ++i;
  while (i < line.size() && isBlank(line[i])) ++i;
  std::string name(line.substr(i, kMaxName));
  while (!name.empty() &&
         (name.back() == ' ' || name.back() == '\t' || name.back() == '\r' || name.back() == '\n'))
    name.pop_back();
  entry.name = std::move(name);
  return entry;
}

}  // namespace

GenreList GenreList::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(kMaxFileBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  return parse(text);
}

GenreList GenreList::parse(std::string_view text) {
  GenreList list;
  list.entries_.reserve(100);
  text = text.substr(0, kMaxFileBytes);
  std::string line;
  for (char c : text) {
    // Bytes are taken unsigned, so accented names are not cut at their first letter above 127.
    if (static_cast<unsigned char>(c) < 32) {
      if (!line.empty()) list.entries_.push_back(parseEntry(line));
      line.clear();
    } else if (line.size() < kMaxLine) {
      line += c;
    }
  }
  // A last line without its line end is not an entry.
  return list;
}

void GenreList::fillByNumbers(int a, int b, GenrePicker& first, GenrePicker& second,
                              GenrePicker& third) const {
  first.clear();
  second.clear();
  third.clear();
  for (const GenreEntry& e : entries_) {
    if (e.level == 0)
      first.add(e.name);
    else if (e.level == 1 && e.a == a)
      second.add(e.name);
    else if (e.level == 2 && e.a == a && e.b == b)
      third.add(e.name);
  }
  first.select(a);
  second.select(b);
  third.select(0);
}

void GenreList::fillByNames(std::string_view name1, std::string_view name2, std::string_view name3,
                            GenrePicker& first, GenrePicker& second, GenrePicker& third) const {
  first.clear();
  second.clear();
  third.clear();
  int a = -2, b = -2, c = -2;
  bool haveB = false, haveC = false;
  for (const GenreEntry& e : entries_) {
    if (e.level == 0) {
      first.add(e.name);
      if (e.name == name1) a = e.a;
    } else if (e.level == 1 && e.a == a) {
      second.add(e.name);
      if (!haveB && e.name == name2) {
        b = e.b;
        haveB = true;
      }
    } else if (e.level == 2 && e.a == a && e.b == b) {
      third.add(e.name);
      if (!haveC && e.name == name3) {
        c = e.c;
        haveC = true;
      }
    }
  }
  first.select(a);
  second.select(b);
  third.select(c);
}

}  // namespace brovana
