#pragma once
// What the three small track windows of the playlist window decide, apart from drawing them: the
// tag editor's checks and its write, and the "Find Track" search over the playlist's tags.

#include <string>
#include <string_view>
#include <vector>

#include "playlist/playlist_item.h"

namespace brovana {

class Playlist;
class Prompts;

inline constexpr int kTagFieldCharacters = 30;

struct TagTexts {
  std::string title;
  std::string artist;
  std::string album;
};

// The tag editor's OK: the three texts are checked, then written into the item's file as its
// tag (ID3v1 for MP3). False, after a message saying why, when a text is missing, the file has gone (the
// item is then marked unplayable) or cannot be written.
bool writeTrackTag(PlaylistItem& item, const TagTexts& texts, Prompts& prompts);

// The file of a listed track is no longer there: the message of a missing track, and the item
// marked unplayable. False when the file is still there.
bool reportVanished(PlaylistItem& item, Prompts& prompts);

// Capital letters, for ASCII and the Latin-1 letters that tags hold.
std::string upperCase(std::string_view utf8);

// The first of `items`, from `from` on and wrapping round once, whose tag texts ("title artist
// album") contain `upperText` (in capital letters); -1 when none does. Tracks without a tag are
// never found.
int findTrack(const std::vector<PlaylistItemRef>& items, std::string_view upperText, int from);

// "Find Track": each search begins where the last match left off.
class TrackFinder {
 public:
  // Selects the next match and makes it visible: its row, or -1 after the message saying why.
  // Without a playlist there is nothing to find.
  int findNext(Playlist* playlist, std::string_view text, Prompts& prompts);

 private:
  int position_ = 0;  // where the next search begins
};

}  // namespace brovana
