#pragma once
// The member's line speed and the stream bit rate (both in bits per second): their names on
// screen and in the log, and the one rule that derives a stream bit rate from a line speed.

namespace brovana {

// "56K modem" and friends, for the member's line speed (and, in the start lines of the log, for
// the stream bit rate too).
const char* lineSpeedName(int bitsPerSecond);
// "56Kbps/stereo (T1/DSL/ISDN/Cable)" and friends, for the stream bit rate.
const char* outputFormatName(int bitsPerSecond);

// The stream bit rate that suits a line speed: the default of a new connection and of stored
// settings without one. Every answer but 0 ("no rule") is a rate the stream can be made at.
int outputBitrateForLineSpeed(int lineSpeed);

}  // namespace brovana
