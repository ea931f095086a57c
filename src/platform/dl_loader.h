#pragma once
// DSP plug-in libraries through dlopen. Every symbol is bound at load time, so a library that
// lacks one of its own dependencies is refused then, not in the middle of the broadcast.

#include "audio/dsp_loader.h"

namespace brovana {

class DlLoader final : public DspLoader {
 public:
  std::unique_ptr<DspLibrary> load(const std::string& path, std::string& error) override;
};

}  // namespace brovana
