#pragma once
// The input level meter before going on the air: while the member has chosen a live source and
// nothing is on the air, the capture records for the visuals alone, so that the levels can be set
// before the start. The broadcast's own start of the capture ends the meter, its stop brings it
// back, and the playlist as the source ends it.
//
// Threads: none of its own; its owner (the source desk) calls it under its lock.

#include "broadcast/studio_parts.h"

namespace brovana {

class InputMeter {
 public:
  // A live source, off the air, and some display on to show the level.
  static bool wanted(Source source, bool onAir, bool shown);

  // Starts or ends the meter on `capture` as `wanted` says. A capture recording for the broadcast
  // is left alone. A device that does not open is logged, once until it opens again: the member
  // asked for nothing, so nothing is asked of the member.
  void follow(CaptureControl& capture, bool wanted);

 private:
  bool failureLogged_ = false;
};

}  // namespace brovana
