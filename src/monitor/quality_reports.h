#pragma once
// What the broadcast sources report to the stream quality gauge: the conversion throughput and
// the transmission rate against the rate expected. QualityGauge implements it.

namespace brovana {

class QualityReports {
 public:
  virtual ~QualityReports() = default;
  // The conversion stage's throughput ratio, at most 1.0 (0 counts as 1.0).
  virtual void setCpuQuality(float ratio) = 0;
  // Bits per second measured and expected.
  virtual void setNetworkQuality(int actual, int expected) = 0;
};

}  // namespace brovana
