#include "core/prompts.h"

#include "diag/logger.h"

namespace brovana {

void Prompts::box(BoxKind kind, std::string_view text, std::string_view caption) {
  Logger::log("%.*s\n", static_cast<int>(text.size()), text.data());
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
