#pragma once
// The member's connection choices and the stream qualities that the station dialogs and
// `--configure` offer, in the dialogs' order. A connection at position p carries the qualities
// from position p to the end: the fastest line all four, a 28K modem only the lowest.

#include <array>
#include <optional>
#include <span>

namespace brovana {

struct ConnectionChoice {
  const char* name;
  int lineSpeed;  // bits per second
};

struct OutputQuality {
  const char* name;
  int bitrate;  // bits per second
};

inline constexpr std::array<ConnectionChoice, 4> kConnections = {{
    {"T1/DSL/ISDN/Cable", 100000},
    {"56K modem", 56000},
    {"33K modem", 33000},
    {"28K modem", 28800},
}};

inline constexpr std::array<OutputQuality, 4> kOutputQualities = {{
    {"56Kbps (stereo)", 56000},
    {"32Kbps (stereo)", 32000},
    {"24Kbps (mono)", 24000},
    {"16Kbps (mono)", 16000},
}};

// The position of a stored line speed among the connections; any other speed above 56000 is the
// fastest connection. Nullopt for a speed no connection stands for (14400, say).
std::optional<int> connectionPosition(int lineSpeed);
// The qualities offered for the connection at `position` (0 to 3).
std::span<const OutputQuality> qualitiesFor(int position);
// The position of `bitrate` in that list; nullopt when the connection does not carry it.
std::optional<int> qualityPosition(int connection, int bitrate);
// The line speed at a connection position, and the bit rate chosen at an output position of its
// list (the quality at connection + output). Positions out of range count as the nearest end.
int lineSpeedAt(int connection);
int bitrateAt(int connection, int output);

}  // namespace brovana
