#pragma once
// What the broadcast sources report to the stream quality gauge: the conversion throughput and
// the transmission rate against the rate expected. QualityGauge implements it.

namespace brovana {

// A transmission rate that cannot be told yet: the source has not fed the stage long enough.
inline constexpr int kRateNotMeasured = -1;

class QualityReports {
 public:
  virtual ~QualityReports() = default;
  // The conversion stage's throughput ratio, at most 1.0 (0 counts as 1.0).
  virtual void setCpuQuality(float ratio) = 0;
  // Bits per second measured (kRateNotMeasured, or 0 when nothing went out) and expected.
  virtual void setNetworkQuality(int actual, int expected) = 0;
  // The dead-air guard: what goes on the air fell silent (true) or has sound again (false).
  virtual void setDeadAir(bool silent) = 0;
};

}  // namespace brovana
