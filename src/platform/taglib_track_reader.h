#pragma once
// The playlist's TrackReader: audio facts through libsndfile, tags of every format through TagLib
// (for MP3 the richest of ID3v2, APE and ID3v1).
// Writing takes each format's own tag; for MP3 only an ID3v2 tag already there, beside the ID3v1
// tag the studio writes.

#include "playlist/track_reader.h"

namespace brovana {

class TagLibTrackReader final : public TrackReader {
 public:
  std::optional<AudioFacts> readAudio(const std::string& path, std::string& reason) override;
  std::optional<TagFacts> readTags(const std::string& path, std::string_view format) override;
  bool writeTags(const std::string& path, const TagFacts& texts) override;
};

}  // namespace brovana
