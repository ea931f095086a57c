#pragma once
// What the machine is: processor clock and description, operating system. They go into the
// log's member line, the support mails and the slow-processor warning.

#include <optional>
#include <string>
#include <string_view>

namespace brovana {

// Whole MHz, 0 when it cannot be measured.
int cpuMHz();
// "%d mhz, VENDOR, MODEL" ("--- mhz, ..." without a clock); none without a vendor.
std::optional<std::string> cpuDescription();
// Kernel and distribution, as "Linux 6.1.0-18-amd64, Debian GNU/Linux 12 (bookworm)".
std::string osDescription();

// The same from given texts, for the tests and for machines with unusual files.
int cpuMHzFrom(std::string_view cpufreqMaxKHz, std::string_view cpuinfo);
std::optional<std::string> cpuDescriptionFrom(int mhz, std::string_view cpuinfo);
std::string osDescriptionFrom(std::string_view kernelName, std::string_view kernelRelease,
                              std::string_view osRelease);

inline constexpr const char* kSupportMail = "support@zelvora.example";
inline constexpr const char* kBugReportSubject = "Brovana-Live Bug Report";
inline constexpr const char* kQuestionSubject = "Brovana-Live Question";

// The bodies of the Bug Report and Question mails, plain text with CR LF line breaks; the mail
// link that carries them encodes them.
std::string bugReportBody(std::string_view member, std::string_view logPath);
std::string questionBody(std::string_view member);

}  // namespace brovana
