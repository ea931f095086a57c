#pragma once
// Small text helpers shared by the parsers.

#include <string>
#include <string_view>
#include <vector>

namespace brovana {

std::string_view trim(std::string_view s);
// The title listeners see: "Artist - Title", or the title alone without an artist.
std::string artistAndTitle(std::string_view artist, std::string_view title);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// Splits on LF, CR LF or CR; the last line may lack an end.
std::vector<std::string_view> splitLines(std::string_view text);
// Decimal parse the way the C library's atoi reads: leading blanks, a sign, digits; 0 otherwise.
int parseInt(std::string_view text);
// The text in UTF-8: well-formed UTF-8 sequences stay as they are, every other byte is read as
// Latin-1 (what ID3v1 tags and older playlists hold).
std::string asUtf8(std::string_view text);
// One code point appended in UTF-8.
void appendUtf8(std::string& out, char32_t point);
// printf into an owned text of whatever length it needs.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The text in Latin-1, at most `most` bytes (one per character): what asUtf8 reads back. A
// character beyond Latin-1 becomes '?'; a byte that is no UTF-8 is kept as the Latin-1 it was.
std::string asLatin1(std::string_view text, size_t most = std::string::npos);
// The text without its control characters (below 32, and 127). Station texts go into the ICY
// header lines, where a line end would start a header line of its own.
std::string withoutControls(std::string_view text);

}  // namespace brovana
