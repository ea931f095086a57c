#pragma once
// The real conversion stage as the Supervisor's ConversionStage: AcmConvert writing to the
// server connection and reporting to the status display. Every front end that broadcasts makes
// its stage with this.

#include "audio/acm_convert.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class AcmStage final : public ConversionStage {
 public:
  // The codec must outlive the stage.
  AcmStage(LiveConnect& connection, StatusDisplay& status, Mp3Codec& codec, Prompts& prompts,
           ProgramExit& exit);

  void setVisual(Visualisation* visual) override;
  void setDspHost(DspHost* dsp) override { acm_.setDspHost(dsp); }
  void startConvertThread() override;
  void setMusicGain(float gain) override;
  AcmConvert& acm() { return acm_; }

 private:
  class Sink final : public StreamSink {
   public:
    explicit Sink(LiveConnect& connection) : connection_(connection) {}
    int sendStream(const uint8_t* bytes, int length, bool reconnectAllowed) override;
    void flush() override;

   private:
    LiveConnect& connection_;
  };
  class Status final : public ConversionStatus {
   public:
    explicit Status(StatusDisplay& status) : status_(status) {}
    void showLastError(std::string_view text) override;
    void refreshCounters() override;

   private:
    StatusDisplay& status_;
  };

  Sink sink_;
  Status status_;
  AcmConvert acm_;  // last: its thread stops before the adapters it uses go
};

}  // namespace brovana
