#include "core/log_sink.h"

#include <atomic>

namespace brovana {
namespace {

constinit std::atomic<LogSink> installed{nullptr};

}  // namespace

void setLogSink(LogSink sink) {
  installed.store(sink);
}

void logLine(const std::string& line) {
  if (LogSink sink = installed.load()) sink(line);
}

}  // namespace brovana
