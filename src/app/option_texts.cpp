// --help and the manual's OPTIONS section, both written from the option table.

#include <cctype>
#include <string_view>

#include "app/command_line.h"

namespace brovana {
namespace {

// An option as a list names it: its spelling and what follows it.
std::string label(const CommandOption& option) {
  return option.argument ? std::string(option.spelling) + " " + option.argument : option.spelling;
}

// --help's option rows: the label, then the text from a column of its own; a label too long for
// its column has the text start on the next line.
constexpr size_t kLabelWidth = 18;

std::string helpRows() {
  std::string rows, labels;
  for (const CommandOption& option : commandOptions()) {
    labels += (labels.empty() ? "" : ", ") + label(option);
    if (!option.help) continue;
    size_t indent = option.nested ? 4 : 2, column = indent + kLabelWidth + 2;
    std::string row = std::string(indent, ' ') + labels;
    if (labels.size() > kLabelWidth)
      row += '\n' + std::string(column, ' ');
    else
      row.resize(column, ' ');
    for (char c : std::string_view(option.help))
      row += c == '\n' ? '\n' + std::string(column, ' ') : std::string(1, c);
    rows += row + '\n';
    labels.clear();
  }
  return rows;
}

// Text as roff reads it: a '-' that begins a word, and the rest of such a word's, is a minus
// sign (an option, or the '-' of standard input), a backslash is printed, and no line is taken
// for a request.
std::string roff(std::string_view text) {
  std::string out;
  bool wordStart = true, option = false;
  for (char c : text) {
    if (wordStart && (c == '.' || c == '\'') && (out.empty() || out.back() == '\n')) out += "\\&";
    if (c == '-' && wordStart) option = true;
    if (c == '\\')
      out += "\\e";
    else if (c == '-' && option)
      out += "\\-";
    else
      out += c;
    wordStart = c == ' ' || c == '\n' || c == '(';
    if (c == ' ' || c == '\n') option = false;
  }
  return out;
}

// The help text as the manual's sentence.
std::string sentence(std::string text) {
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (text.back() != '.' && text.back() != ':') text += '.';
  return text;
}

std::string manualLabel(const CommandOption& option) {
  std::string tag = "\\fB" + roff(option.spelling) + "\\fR";
  if (option.argument) tag += " \\fI" + roff(option.argument) + "\\fR";
  return tag;
}

}  // namespace

std::string helpText() {
  return R"(Usage: brovana-live [OPTION]...
Brovana-Live turns this computer into a live station of the Zelvora internet radio service:
it plays a playlist of MP3 files (or records the sound card), encodes the sound as MP3 at
16, 24, 32 or 56 kbit/s and streams it to the member's broadcast server.

Options:
)" + helpRows() +
         R"(
Settings are kept in $XDG_CONFIG_HOME/brovana-live/settings.ini (readable by you only).
)";
}

std::string manualOptions() {
  std::string entries, labels;
  bool nested = false;
  for (const CommandOption& option : commandOptions()) {
    labels += (labels.empty() ? "" : ", ") + manualLabel(option);
    if (!option.help) continue;
    if (option.nested != nested) entries += option.nested ? ".RS\n" : ".RE\n";
    nested = option.nested;
    entries += ".TP\n" + labels + '\n' + roff(sentence(option.help)) + '\n';
    if (option.manual) entries += roff(option.manual) + '\n';
    labels.clear();
  }
  return nested ? entries + ".RE\n" : entries;
}

}  // namespace brovana
