#pragma once
// The loudness meter on libebur128: integrated loudness and true peak of a whole track, decoded
// as the engine decodes it.

#include "audio/loudness.h"

namespace brovana {

class EbuR128Meter final : public LoudnessMeter {
 public:
  std::optional<Loudness> measure(const std::string& path, const std::atomic<bool>& stop) override;
};

}  // namespace brovana
