#include "core/connection_rates.h"

#include <algorithm>

namespace brovana {

std::optional<int> connectionPosition(int lineSpeed) {
  for (size_t i = 0; i < kConnections.size(); ++i)
    if (kConnections[i].lineSpeed == lineSpeed) return static_cast<int>(i);
  if (lineSpeed > kConnections[1].lineSpeed) return 0;
  return std::nullopt;
}

std::span<const OutputQuality> qualitiesFor(int position) {
  if (position < 0 || position >= static_cast<int>(kOutputQualities.size())) return {};
  return std::span(kOutputQualities).subspan(static_cast<size_t>(position));
}

std::optional<int> qualityPosition(int connection, int bitrate) {
  std::span<const OutputQuality> offered = qualitiesFor(connection);
  for (size_t i = 0; i < offered.size(); ++i)
    if (offered[i].bitrate == bitrate) return static_cast<int>(i);
  return std::nullopt;
}

int lineSpeedAt(int connection) {
  return kConnections[static_cast<size_t>(std::clamp(connection, 0, 3))].lineSpeed;
}

int bitrateAt(int connection, int output) {
  return kOutputQualities[static_cast<size_t>(std::clamp(connection + output, 0, 3))].bitrate;
}

}  // namespace brovana
