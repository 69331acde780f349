#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/profile_store.h"
#include "test_support.h"

namespace varnolt {
namespace {

using testing::read_text;
using testing::ScratchDir;
using testing::write_text;

TEST(ProfileStore, MissingFileSectionOrKeyReadsAsEmptyText) {
    ScratchDir dir;
    const std::string path = dir.file("a.ini");
    EXPECT_EQ(profile_read(path.c_str(), "Bias", "Enabled"), "");
    write_text(path, "[Bias]\r\nEnabled=1\r\n");
    EXPECT_EQ(profile_read(path.c_str(), "Common", "Enabled"), "");
    EXPECT_EQ(profile_read(path.c_str(), "Bias", "Disabled"), "");
    EXPECT_EQ(profile_read(path.c_str(), "Bias", "Enabled"), "1");
}

TEST(ProfileStore, ReadsIgnoreCaseAndSpacesAndKeepAtMost31Characters) {
    ScratchDir dir;
    const std::string path = dir.file("a.ini");
    write_text(path,
               "[ bias ]\n  enabled =  7  \nLong=0123456789012345678901234567890123456789\n"
               "Quoted=\"2.5\"\nEmpty=\n");
    EXPECT_EQ(profile_read(path.c_str(), "Bias", "Enabled"), "7");
    EXPECT_EQ(profile_read(path.c_str(), "Bias", "Long"), "0123456789012345678901234567890");
    EXPECT_EQ(profile_read(path.c_str(), "Bias", "Quoted"), "2.5");
    EXPECT_EQ(profile_read(path.c_str(), "Bias", "Empty"), "");
}

TEST(ProfileStore, WritesReplaceInPlaceAppendToSectionAndAddSectionsAtTheEnd) {
    ScratchDir dir;
    const std::string path = dir.file("a.ini");
    write_text(path,
               "; kept comment\r\n[Bias]\r\nEnabled=0\r\nUnknown key=x\r\n\r\n"
               "[Other program]\r\nkey=1\r\n");
    profile_write(path.c_str(), "Bias", "enabled", "1");
    profile_write(path.c_str(), "Bias", "Auto-adjust clustered", "1");
    profile_write(path.c_str(), "Common", "Post amplifier", "0.5");
    EXPECT_EQ(
        read_text(path),
        "; kept comment\r\n[Bias]\r\nenabled=1\r\nUnknown key=x\r\nAuto-adjust clustered=1\r\n"
        "\r\n[Other program]\r\nkey=1\r\n[Common]\r\nPost amplifier=0.5\r\n");
}

TEST(ProfileStore, NewFileHoldsSectionsInTheOrderWritten) {
    ScratchDir dir;
    const std::string path = dir.file("new.ini");
    profile_write(path.c_str(), "A", "x", "1");
    profile_write(path.c_str(), "B", "y", "2");
    profile_write(path.c_str(), "A", "z", "3");
    EXPECT_EQ(read_text(path), "[A]\r\nx=1\r\nz=3\r\n[B]\r\ny=2\r\n");
    EXPECT_FALSE(testing::file_exists(path + ".tmp"));
}

TEST(ProfileStore, AFailedWriteLeavesTheOldFileWhole) {
    ScratchDir dir;
    const std::string path = dir.file("a.ini");
    write_text(path, "[A]\r\nx=1\r\n");
    // A folder where the temporary copy would go makes every write fail.
    std::filesystem::create_directory(path + ".tmp");
    profile_write(path.c_str(), "A", "x", "2");
    EXPECT_EQ(read_text(path), "[A]\r\nx=1\r\n");
}

TEST(ProfileStore, AByteOrderMarkBeforeTheFirstSectionIsNoPartOfIt) {
    // Editors that save UTF-8 put EF BB BF at the start of the file.
    ScratchDir dir;
    const std::string path = dir.file("a.ini");
    const std::string bom = "\xEF\xBB\xBF";
    write_text(path, bom + "[Common]\r\nPost amplifier=0.5\r\n[Bias]\r\nEnabled=0\r\n");
    EXPECT_EQ(profile_read(path.c_str(), "Common", "Post amplifier"), "0.5");
    profile_write(path.c_str(), "Common", "Post amplifier", "2");
    EXPECT_EQ(read_text(path), bom + "[Common]\r\nPost amplifier=2\r\n[Bias]\r\nEnabled=0\r\n")
        << "replaced in place, the mark kept";
}

// Bytes this process has read from files so far (Linux).
long long bytes_read_so_far() {
    std::ifstream io("/proc/self/io");
    std::string name;
    long long value = 0;
    while (io >> name >> value)
        if (name == "rchar:") return value;
    return -1;
}

TEST(ProfileStore, ReadingManyKeysReadsTheFileOnce) {
    ScratchDir dir;
    const std::string path = dir.file("big.ini");
    std::string text = "[Common]\r\nPost amplifier=0.5\r\n[Other program]\r\n";
    for (int i = 0; text.size() < 1000000; ++i) text += "entry " + std::to_string(i) + "=x\r\n";
    text += "[Bias]\r\nEnabled=7\r\n";
    write_text(path, text);
    if (bytes_read_so_far() < 0) GTEST_SKIP() << "no /proc/self/io";
    const long long before = bytes_read_so_far();
    for (int key = 0; key < 40; ++key) {
        ASSERT_EQ(profile_read(path.c_str(), "Bias", "Enabled"), "7");
        ASSERT_EQ(profile_read(path.c_str(), "Common", "Post amplifier"), "0.5");
    }
    EXPECT_LT(bytes_read_so_far() - before, 2 * static_cast<long long>(text.size()));
}

TEST(ProfileStore, ReadsSeeTheFileAsAnotherProgramLeftIt) {
    ScratchDir dir;
    const std::string path = dir.file("a.ini");
    write_text(path, "[A]\r\nx=1\r\n");
    EXPECT_EQ(profile_read(path.c_str(), "A", "x"), "1");
    write_text(path, "[A]\r\nx=22\r\n");
    EXPECT_EQ(profile_read(path.c_str(), "A", "x"), "22");
    // The same size: the new time stamp tells.
    write_text(path, "[A]\r\nx=33\r\n");
    std::filesystem::last_write_time(
        path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
    EXPECT_EQ(profile_read(path.c_str(), "A", "x"), "33");
    std::filesystem::remove(path);
    EXPECT_EQ(profile_read(path.c_str(), "A", "x"), "");
}

TEST(ProfileStore, WritingIntoAMissingFolderFailsQuietly) {
    ScratchDir dir;
    const std::string path = dir.file("no/such/folder/a.ini");
    profile_write(path.c_str(), "A", "x", "1");
    EXPECT_EQ(profile_read(path.c_str(), "A", "x"), "");
}

}  // namespace
}  // namespace varnolt
