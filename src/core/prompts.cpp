#include "core/prompts.h"

#include <string>

#include "core/log_sink.h"

namespace brovana {

void Prompts::box(BoxKind kind, std::string_view text, std::string_view caption) {
  logLine(std::string(text) + "\n");
  showBox(kind, text, caption);
}

void Prompts::information(std::string_view text, std::string_view caption) {
  box(BoxKind::Information, text, caption);
}
void Prompts::warning(std::string_view text, std::string_view caption) {
  box(BoxKind::Warning, text, caption);
}
void Prompts::error(std::string_view text, std::string_view caption) {
  box(BoxKind::Error, text, caption);
}

}  // namespace brovana
