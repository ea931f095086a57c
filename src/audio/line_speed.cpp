#include "audio/line_speed.h"

#include <cstdio>

#include "core/prompts.h"

namespace brovana {

std::optional<LineSpeedFormat> lineSpeedFormat(int lineSpeed) {
  for (const LineSpeedFormat& f : kLineSpeedFormats)
    if (f.lineSpeed == lineSpeed) return f;
  return std::nullopt;
}

std::optional<LineSpeedFormat> checkedLineSpeedFormat(int lineSpeed, Prompts& prompts) {
  std::optional<LineSpeedFormat> format = lineSpeedFormat(lineSpeed);
  if (!format) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Linespeed of %d is invalid. Use the Account info page to try a different linespeed.",
                  lineSpeed);
    prompts.information(text, " ");
  }
  return format;
}

}  // namespace brovana
