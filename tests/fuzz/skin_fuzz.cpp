// The skin file reader on any bytes: a skin or a reason, and colours that are colours.

#include <cstdint>
#include <string_view>

#include "app/skin/skin_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brovana::SkinParse parse = brovana::parseSkin(std::string_view(reinterpret_cast<const char*>(data), size));
  if (parse.skin.has_value() == !parse.error.empty()) __builtin_trap();
  if (parse.skin && (parse.skin->statusTextColour() > 0xffffff || parse.skin->statusPanelColour() > 0xffffff))
    __builtin_trap();
  return 0;
}
