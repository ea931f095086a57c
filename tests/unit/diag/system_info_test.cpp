#include "diag/system_info.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

const char* kX86 =
    "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel name\t: Intel(R) Xeon(R) CPU @ "
    "2.20GHz\n"
    "cpu MHz\t\t: 2199.998\n\nprocessor\t: 1\nvendor_id\t: GenuineIntel\n";

TEST(SystemInfo, ClockAndDescriptionsFromTheSystemFiles) {
  EXPECT_EQ(cpuMHzFrom("3400000\n", kX86), 3400);
  EXPECT_EQ(cpuMHzFrom("", kX86), 2199);
  EXPECT_EQ(cpuMHzFrom("", "processor : 0\n"), 0);
  EXPECT_EQ(cpuDescriptionFrom(0, kX86), "--- mhz, GenuineIntel, Intel(R) Xeon(R) CPU @ 2.20GHz");
  EXPECT_EQ(cpuDescriptionFrom(800, "vendor_id : AuthenticAMD\n"), "800 mhz, AuthenticAMD, <unknown>");
  EXPECT_EQ(cpuDescriptionFrom(800, "model name : Mystery\n"), std::nullopt) << "no vendor, no description";
  EXPECT_EQ(osDescriptionFrom("Linux", "6.1.0", "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12\"\n"),
            "Linux 6.1.0, Debian GNU/Linux 12");
  EXPECT_EQ(osDescriptionFrom("Linux", "5.4", "NAME=Alpine\n"), "Linux 5.4, Alpine");
  EXPECT_EQ(osDescriptionFrom("Linux", "5.4", ""), "Linux 5.4");
}

TEST(SystemInfo, MailsCarryEscapedLineBreaks) {
  std::string bug = bugReportMail("dj", "/tmp/live_log3.txt");
  EXPECT_EQ(
      bug.rfind("mailto:support@zelvora.example?subject=Brovana-Live Bug Report&body=Username : dj %0d%0a",
                0),
      0u)
      << bug;
  EXPECT_NE(bug.find("(make sure to attach the log file /tmp/live_log3.txt): "), std::string::npos);
  std::string question = questionMail("dj");
  EXPECT_NE(question.find("subject=Brovana-Live Question&body=Username : dj%0d%0aSystem"), std::string::npos);
}

}  // namespace
}  // namespace brovana
