#pragma once
// The real conversion stage as the studio's StageControl: ConversionStage writing to the
// server connection and reporting to the status display. Every front end that broadcasts makes
// its stage with this.

#include "audio/conversion_stage.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class StagePart final : public StageControl {
 public:
  // The codec must outlive the stage.
  StagePart(ServerLink& connection, StatusDisplay& status, EncoderLibrary& codec, Prompts& prompts,
            ProgramExit& exit);

  void setVisual(Visualisation* visual) override;
  void setDspHost(SampleProcessor* dsp) override { conversion_.setDspHost(dsp); }
  void startConvertThread() override;
  void setMusicGain(float gain) override;
  void setPcmTap(PcmTap* tap) override { conversion_.setPcmTap(tap); }
  ConversionStage& conversion() { return conversion_; }

 private:
  class Sink final : public StreamSink {
   public:
    explicit Sink(ServerLink& connection) : connection_(connection) {}
    int sendStream(const uint8_t* bytes, int length, bool reconnectAllowed) override;
    void flush() override;

   private:
    ServerLink& connection_;
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
  ConversionStage conversion_;  // last: its thread stops before the adapters it uses go
};

}  // namespace brovana
