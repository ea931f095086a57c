#include "core/ini_file.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace brovana {
namespace {

TEST(IniFile, SectionsAndKeysMatchRegardlessOfCase) {
  IniFile ini = IniFile::parse("[Names]\r\nHostPlayName = Autopilot \r\n[playlist]\nFile1=a.mp3\n");
  EXPECT_EQ(ini.value("names", "HOSTPLAYNAME"), "Autopilot");
  EXPECT_EQ(ini.value("PLAYLIST", "file1"), "a.mp3");
  EXPECT_EQ(ini.value("names", "missing"), std::nullopt);
  EXPECT_EQ(ini.value("other", "File1", "fallback"), "fallback");
}

TEST(IniFile, FirstOccurrenceWinsAndOddLinesAreSkipped) {
  IniFile ini = IniFile::parse(
      "key=before any section\n"
      "[s]\n; a comment\nno equals sign\n[broken\nk=\"quoted value\"\nk=second\nempty=\n=novalue\n");
  EXPECT_EQ(ini.value("s", "k"), "quoted value");
  EXPECT_EQ(ini.value("s", "empty"), "");
  EXPECT_EQ(ini.value("", "key"), std::nullopt);
}

TEST(IniFile, EntriesOfASectionInFileOrder) {
  IniFile ini = IniFile::parse("[playlist]\nFile2=b\n[other]\nx=y\n[PlayList]\nfile1=a\nFile2=again\n");
  using Entries = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(ini.entries("playlist"), (Entries{{"File2", "b"}, {"file1", "a"}, {"File2", "again"}}));
  EXPECT_TRUE(ini.entries("missing").empty());
}

TEST(IniFile, MissingFileIsNotAnIniFile) {
  test::TempFolder folder;
  EXPECT_FALSE(IniFile::load(folder.file("absent.ini")));
  folder.write("x.ini", "[a]\nb=c");
  auto ini = IniFile::load(folder.file("x.ini"));
  ASSERT_TRUE(ini);
  EXPECT_EQ(ini->value("A", "B"), "c");
}

}  // namespace
}  // namespace brovana
