#include "playlist/track_tags.h"

#include <filesystem>

#include "core/prompts.h"
#include "core/text.h"
#include "playlist/playlist.h"

namespace brovana {

bool writeTrackTag(PlaylistItem& item, const TagTexts& texts, Prompts& prompts) {
  struct Field {
    std::string_view text;
    const char* refusal;
  };
  const Field fields[] = {{trim(texts.title), "You must supply a track name!"},
                          {trim(texts.artist), "You must supply artist name!"},
                          {trim(texts.album), "You must supply an album name!"}};
  for (const Field& field : fields) {
    if (field.text.empty()) {
      prompts.warning(field.refusal);
      return false;
    }
  }
  if (reportVanished(item, prompts)) return false;
  if (!item.writeTag(fields[1].text, fields[0].text, fields[2].text)) {
    prompts.warning("Unable to modify the file. Make sure it is not set to 'read only'");
    return false;
  }
  return true;
}

bool reportVanished(PlaylistItem& item, Prompts& prompts) {
  std::error_code error;
  if (std::filesystem::is_regular_file(item.fullpath(), error)) return false;
  item.setPlayable(false);
  prompts.warning(formatText(kTrackMissingText, item.fullpath().c_str()));
  return true;
}

std::string upperCase(std::string_view utf8) {
  std::string upper(utf8);
  for (size_t i = 0; i < upper.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(upper[i]);
    if (c >= 'a' && c <= 'z') {
      upper[i] = static_cast<char>(c - 0x20);
    } else if (c == 0xC3 && i + 1 < upper.size()) {
      // U+00E0 to U+00FE, but for the division sign U+00F7: their capitals lie 0x20 below.
      unsigned char next = static_cast<unsigned char>(upper[i + 1]);
      if (next >= 0xA0 && next <= 0xBE && next != 0xB7) upper[i + 1] = static_cast<char>(next - 0x20);
      ++i;
    }
  }
  return upper;
}

int findTrack(const std::vector<PlaylistItemRef>& items, std::string_view upperText, int from) {
  const int n = static_cast<int>(items.size());
  for (int k = 0; k < n; ++k) {
    const int i = (from + k) % n;
    MP3Info info = items[i]->mp3Info();
    if (!info.hasTag()) continue;
    if (upperCase(info.title() + " " + info.artist() + " " + info.album()).find(upperText) !=
        std::string::npos)
      return i;
  }
  return -1;
}

int TrackFinder::findNext(Playlist* playlist, std::string_view text, Prompts& prompts) {
  if (text.empty()) {
    prompts.warning("You need to supply some search text!");
    return -1;
  }
  std::vector<PlaylistItemRef> items = playlist ? playlist->items() : std::vector<PlaylistItemRef>{};
  if (position_ >= static_cast<int>(items.size())) position_ = 0;
  std::string upper = upperCase(text);
  int row = findTrack(items, upper, position_);
  if (row < 0) {
    prompts.warning(formatText("Unable to find %s", upper.c_str()));
    return -1;
  }
  playlist->showRow(row, true);
  position_ = row + 1;
  return row;
}

}  // namespace brovana
