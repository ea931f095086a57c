#pragma once
// Reading the three playlist file formats into track paths, and the path rules they share.
// The readers take the file's text, so that they can be checked without files; the Playlist
// opens the files and adds the tracks.
//
// Paths use '/'. Entries written on Windows have their backslashes turned into '/'. An entry
// that starts with '/' is absolute, one with a drive letter ("D:/x.mp3") is used as it stands
// (it names another system's file and is usually missing), a URL is left alone, and anything
// else is relative to the playlist file's folder.

#include <string>
#include <string_view>
#include <vector>

namespace brovana {

enum class PlaylistFormat { Unknown, M3U, PLS, Mirobeam };

// By what the file name contains anywhere, first match winning: ".m3u", ".pls", ".txt"
// (lower or upper case).
PlaylistFormat playlistFormatOf(std::string_view path);

// The part after the last '/'; the whole path when it has none.
std::string_view fileNamePart(std::string_view path);
// The part before the last '/'; "/" for a file in the root; empty when there is no '/'.
std::string folderPart(std::string_view path);

std::string toSlashes(std::string_view path);
bool hasDriveLetter(std::string_view path);
std::string resolveEntry(std::string_view entry, std::string_view playlistPath);

// Extended M3U: two header lines skipped, then a path line and one ignored line, alternating.
// Entries starting with "http" are left out.
std::vector<std::string> readM3U(std::string_view text, std::string_view playlistPath);
// PLS: "File1" .. "File<NumberOfEntries>" of section "playlist"; "<none>" for a missing key.
std::vector<std::string> readPLS(std::string_view text, std::string_view playlistPath);
// "Mirobeam 1.0 Playlist": three header lines, then "path$$..." lines.
std::vector<std::string> readMirobeam(std::string_view text, std::string_view playlistPath);

// Lines ended by LF, a CR before the LF dropped, as a text-mode read gives them.
std::vector<std::string_view> textLines(std::string_view text);

}  // namespace brovana
