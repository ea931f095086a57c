#include "diag/system_info.h"

#include <sys/utsname.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/text.h"
#include "diag/logger.h"

namespace brovana {
namespace {

std::string readFile(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value of the first "key : value" line of /proc/cpuinfo whose key is one of `keys`.
std::optional<std::string> cpuinfoField(std::string_view cpuinfo,
                                        std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys)
    for (std::string_view line : splitLines(cpuinfo)) {
      size_t colon = line.find(':');
      if (colon != std::string_view::npos && equalsIgnoreCase(trim(line.substr(0, colon)), key))
        return std::string(trim(line.substr(colon + 1)));
    }
  return std::nullopt;
}

std::string osReleaseField(std::string_view osRelease, std::string_view key) {
  for (std::string_view line : splitLines(osRelease)) {
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=') continue;
    std::string_view value = trim(line.substr(key.size() + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return {};
}

}  // namespace

int cpuMHzFrom(std::string_view cpufreqMaxKHz, std::string_view cpuinfo) {
  if (int khz = parseInt(cpufreqMaxKHz); khz > 0) return khz / 1000;
  if (auto mhz = cpuinfoField(cpuinfo, {"cpu MHz", "clock"})) return parseInt(*mhz);
  return 0;
}

int cpuMHz() {
  return cpuMHzFrom(readFile("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"),
                    readFile("/proc/cpuinfo"));
}

std::optional<std::string> cpuDescriptionFrom(int mhz, std::string_view cpuinfo) {
  auto vendor = cpuinfoField(cpuinfo, {"vendor_id", "CPU implementer", "vendor"});
  if (!vendor) return std::nullopt;
  std::string model =
      cpuinfoField(cpuinfo, {"model name", "Processor", "cpu model", "cpu"}).value_or("<unknown>");
  if (mhz != 0) return formatText("%d mhz, %s, %s", mhz, vendor->c_str(), model.c_str());
  return formatText("--- mhz, %s, %s", vendor->c_str(), model.c_str());
}

std::optional<std::string> cpuDescription() {
  return cpuDescriptionFrom(cpuMHz(), readFile("/proc/cpuinfo"));
}

std::string osDescriptionFrom(std::string_view kernelName, std::string_view kernelRelease,
                              std::string_view osRelease) {
  std::string text = std::string(kernelName) + " " + std::string(kernelRelease);
  std::string distribution = osReleaseField(osRelease, "PRETTY_NAME");
  if (distribution.empty()) distribution = osReleaseField(osRelease, "NAME");
  return distribution.empty() ? text : text + ", " + distribution;
}

std::string osDescription() {
  utsname names{};
  if (uname(&names) != 0) return "Linux";
  std::string osRelease = readFile("/etc/os-release");
  if (osRelease.empty()) osRelease = readFile("/usr/lib/os-release");
  return osDescriptionFrom(names.sysname, names.release, osRelease);
}

std::string bugReportBody(std::string_view member, std::string_view logPath) {
  return formatText(
      "Username : %s \r\nSystem    : %s \r\nCPU Speed : %s\r\nBrovana-Live Version : %s (build %d) \r\n\r\n"
      "Describe Problem Here (make sure to attach the log file %s): ",
      std::string(member).c_str(), osDescription().c_str(), cpuDescription().value_or("").c_str(),
      kVersionText, kBuildNumber, std::string(logPath).c_str());
}

std::string questionBody(std::string_view member) {
  return formatText(
      "Username : %s\r\nSystem    : %s \r\nCPU Speed : %s\r\nBrovana-Live Version : %s (build %d) \r\n\r\n"
      "What is your Question?\r\n",
      std::string(member).c_str(), osDescription().c_str(), cpuDescription().value_or("").c_str(),
      kVersionText, kBuildNumber);
}

}  // namespace brovana
