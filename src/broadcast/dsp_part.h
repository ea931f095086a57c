#pragma once
// The real DSP plug-in host as the Supervisor's PluginHost: WADsp on the working folder's
// Plugins/. The front end gives it the loader and its main window's handle.

#include <memory>

#include "audio/wa_dsp.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class DspPlugins final : public PluginHost {
 public:
  DspPlugins(std::unique_ptr<DspLoader> loader, Prompts& prompts, void* parentWindow)
      : host_(std::move(loader), prompts, parentWindow) {}

  bool loadPlugins() override;
  std::vector<PluginMenuEntry> menu() const override;
  int launch(int index) override { return host_.launch(WADsp::kMenuNone + index); }
  int checkedId() const override { return host_.checkedId(); }
  bool launchFile(const std::string& path, int module) override { return host_.launchFile(path, module); }
  DspHost* samples() override { return &host_; }

 private:
  WADsp host_;
};

}  // namespace brovana
