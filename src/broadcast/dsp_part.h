#pragma once
// The real DSP plug-in host as the studio's PluginControl: DspHost on the working folder's
// Plugins/. The front end gives it the loader and its main window's handle.

#include <memory>

#include "audio/dsp_host.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class PluginPart final : public PluginControl {
 public:
  PluginPart(std::unique_ptr<DspLoader> loader, Prompts& prompts, void* parentWindow)
      : host_(std::move(loader), prompts, parentWindow) {}

  bool loadPlugins() override;
  std::vector<PluginMenuEntry> menu() const override;
  int launch(int index) override { return host_.launch(DspHost::kMenuNone + index); }
  int checkedId() const override { return host_.checkedId(); }
  bool launchFile(const std::string& path, int module) override { return host_.launchFile(path, module); }
  SampleProcessor* samples() override { return &host_; }

 private:
  DspHost host_;
};

}  // namespace brovana
