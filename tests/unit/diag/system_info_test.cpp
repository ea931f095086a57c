#include "diag/system_info.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

const char* kX86 =
    "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\n"
    "cpu MHz\t\t: 2199.998\n\nprocessor\t: 1\nvendor_id\t: GenuineIntel\n";

TEST(SystemInfo, ClockFromCpufreqElseFromCpuinfoElseZero) {
  EXPECT_EQ(cpuMHzFrom("3400000\n", kX86), 3400);
  EXPECT_EQ(cpuMHzFrom("", kX86), 2199);
  EXPECT_EQ(cpuMHzFrom("", "processor : 0\n"), 0);
}

TEST(SystemInfo, DescriptionPutsVendorBeforeModel) {
  EXPECT_EQ(cpuDescriptionFrom(2199, kX86), "2199 mhz, GenuineIntel, Intel(R) Xeon(R) CPU @ 2.20GHz");
  EXPECT_EQ(cpuDescriptionFrom(0, kX86), "--- mhz, GenuineIntel, Intel(R) Xeon(R) CPU @ 2.20GHz");
  EXPECT_EQ(cpuDescriptionFrom(800, "vendor_id : AuthenticAMD\n"), "800 mhz, AuthenticAMD, <unknown>");
  EXPECT_EQ(cpuDescriptionFrom(800, "model name : Mystery\n"), std::nullopt) << "no vendor, no description";
}

TEST(SystemInfo, SystemTextNamesKernelAndDistribution) {
  EXPECT_EQ(osDescriptionFrom("Linux", "6.1.0-18-amd64", "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
            "Linux 6.1.0-18-amd64, Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(osDescriptionFrom("Linux", "5.4", "NAME=Alpine\n"), "Linux 5.4, Alpine");
  EXPECT_EQ(osDescriptionFrom("Linux", "5.4", ""), "Linux 5.4");
  EXPECT_FALSE(osDescription().empty());
}

TEST(SystemInfo, MailBodiesNameMemberVersionAndLogAndDifferInOneBlank) {
  std::string bug = bugReportBody("dj", "/tmp/live_log3.txt");
  EXPECT_EQ(bug.rfind("Username : dj \r\nSystem    : ", 0), 0u) << bug;
  EXPECT_NE(bug.find("Brovana-Live Version : Brovana-Live 2.01 - Jan. 29, 2001 (build 110) \r\n\r\n"),
            std::string::npos);
  EXPECT_NE(bug.find("(make sure to attach the log file /tmp/live_log3.txt): "), std::string::npos);
  std::string question = questionBody("dj");
  EXPECT_EQ(question.rfind("Username : dj\r\nSystem", 0), 0u) << question;
  EXPECT_EQ(question.substr(question.size() - 24), "What is your Question?\r\n");
}

}  // namespace
}  // namespace brovana
