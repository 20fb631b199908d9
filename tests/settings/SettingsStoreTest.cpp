#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/settings/TestFiles.h"

namespace vel {
namespace {

using test::ReadAll;
using test::WriteAll;

class SettingsStoreTest : public test::TempDirTest {
  protected:
    // Loads text as a file another program wrote.
    SettingsStore FromText(const std::string& text) {
        WriteAll(File("in.ini"), text);
        SettingsStore store;
        EXPECT_EQ(store.LoadFile(File("in.ini").string().c_str()), LoadResult::Loaded);
        return store;
    }
    std::string SavedText(SettingsStore& store) {
        EXPECT_TRUE(store.Save(File("out.ini").string().c_str()));
        return ReadAll(File("out.ini"));
    }
};

const std::string kLongSection(200, 's'), kLongKey(300, 'k'), kLongValue(1000, 'v');
const std::string kLongComment = std::string(";") + std::string(2000, 'c');
const std::string kLongNames = std::string("[") + kLongSection + std::string("]\n") + kLongKey +
                               std::string("=") + kLongValue + std::string("\nLuma Threshold=5") +
                               kLongComment + "\n";

TEST_F(SettingsStoreTest, ClassificationLooksOnlyBeforeTheComment) {
    const std::pair<std::string, LineKind> cases[] = {
        {"[Section]", LineKind::Section},
        {"]odd order[", LineKind::Section},
        {"Path=[x]", LineKind::Section},
        {std::string("[") + std::string(4998, 'h') + "]", LineKind::Section},
        {"[only open=1", LineKind::Key},
        {"Key=v ; [not] a header", LineKind::Key},
        {"; a=b", LineKind::Other},
        {"", LineKind::Other},
        {"just words", LineKind::Other},
        {std::string("; ") + std::string(100000, 'c') + "[Trap]", LineKind::Other}};
    for (const auto& [text, kind] : cases) {
        EXPECT_EQ(SettingsStore::Classify(text), kind) << text.substr(0, 40);
    }
}

TEST_F(SettingsStoreTest, IntegersReadLikeTheCLibraryButNeverOverflow) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = -kMax - 1;
    const std::pair<std::string, int32_t> cases[] = {
        {"42", 42},
        {"  \t-7", -7},
        {"+13dB", 13},
        {"5 ", 5},
        {"x5", 0},
        {"", 0},
        {"-", 0},
        {"- 5", 0},
        {"2147483647", kMax},
        {"-2147483648", kMin},
        {"2147483648", kMax},
        {std::string(400, '9'), kMax},
        {std::string("-") + std::string(400, '9'), kMin}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(SettingsStore::ParseInt(text), value) << text;
    }
    EXPECT_EQ(SettingsStore::FormatInt(kMin), "-2147483648");
}

// Sections and keys match without case but without trimming; the first matching header and
// the first matching key win; key lines before the first header belong to no section; a
// header with a comment is never found but ends the section before it; names are compared
// whole at any length.
TEST_F(SettingsStoreTest, Lookup) {
    const std::string s = "VEL Noise Reduction 0";
    const std::string file1 =
        "Orphan=1\n[vel noise reduction 0]\nluma threshold=5\nChroma Threshold =7\n"
        " Light Correction=3\nDark Correction=4\nDark Correction=8\n[VEL Noise Reduction 0]\n"
        "High Quality=0\n";
    const std::string file2 = "[P]\na=1\n[P] ; note\nb=2\n[S]\nEmpty=\nSpaced=  12 apples ;c\n";
    struct {
        const std::string& file;
        std::string section, key, value;
    } cases[] = {{file1, s, "Luma Threshold", "5"},
                 {file1, s, "Chroma Threshold", "-"},
                 {file1, s, "Chroma Threshold ", "7"},
                 {file1, s, "Light Correction", "-"},
                 {file1, s, "Dark Correction", "4"},
                 {file1, s, "High Quality", "-"},
                 {file1, "", "Orphan", "-"},
                 {file1, std::string(" ") + s, "luma threshold", "-"},
                 {file2, "P", "a", "1"},
                 {file2, "P", "b", "-"},
                 {file2, "S", "Empty", ""},
                 {file2, "S", "Spaced", "  12 apples "},
                 {kLongNames, kLongSection, kLongKey, kLongValue},
                 {kLongNames, kLongSection.substr(0, 131), kLongKey, "-"},
                 {kLongNames, kLongSection, kLongKey.substr(0, 127), "-"}};
    for (const auto& c : cases) {
        EXPECT_EQ(FromText(c.file).GetString(c.section, c.key, "-"), c.value)
            << c.section.substr(0, 30) << "/" << c.key.substr(0, 30);
    }
}

// Text in, changes made, bytes saved: untouched lines come back byte for byte with CR LF ends
// (a CR before LF goes, a lone CR stays), rewritten lines keep the key's spelling and their
// own comment, a missing key goes right after the header, a missing section at the end, and
// text with line breaks is never stored.
TEST_F(SettingsStoreTest, Rewriting) {
    const std::string l300 = std::string("Foreign=") + std::string(292, 'a');
    const std::string l5000 = std::string("[") + std::string(4998, 'h') + "]";
    const std::string l100k = std::string("; ") + std::string(100000, 'c') + "[Trap]";
    struct Set {
        std::string section, key, value;
    };
    struct {
        std::string in;
        std::vector<Set> sets;
        std::string out;
    } cases[] = {
        // clang-format off
        {"[S]\nluma threshold=5\nLuma Suppression=7 ; mine\nChroma Suppression=1\n",
         {{"S", "Luma Threshold", "3"}, {"S", "Luma Suppression", "3"},
          {"S", "Chroma Suppression", "-12"}},
         "[S]\r\nluma threshold=3\r\nLuma Suppression=3; mine\r\nChroma Suppression=-12\r\n"},
        {"[A]\nLuma Threshold = 5\n[B]\nx=1",
         {{"A", "Luma Threshold", "2"}, {"A", "High Quality", "1"}, {"C", "Name", "n"},
          {"c", "Other", "o"}},
         "[A]\r\nHigh Quality=1\r\nLuma Threshold=2\r\nLuma Threshold = 5\r\n[B]\r\nx=1\r\n"
         "[C]\r\nOther=o\r\nName=n\r\n"},
        {"[P] ; note\nb=2\n", {{"P", "b", "3"}, {"P", "c", "4"}},
         "[P] ; note\r\nb=2\r\n[P]\r\nc=4\r\nb=3\r\n"},
        {"[S]\nk=1\n", {{"S", "k", "2\n[Other]\nx=1"}, {"S", "new\r", "1"}, {"S\n", "k", "1"}},
         "[S]\r\nk=1\r\n"},
        {"a=1\r\nb=2\nc=3\r\r\nmid\rdle\n\n\r\nlast", {},
         "a=1\r\nb=2\r\nc=3\r\r\nmid\rdle\r\n\r\n\r\nlast\r\n"},
        {"[S]\n" + l300 + "\n" + l5000 + "\n" + l100k + "\nk=1\n", {{"S", "Luma Threshold", "1"}},
         "[S]\r\nLuma Threshold=1\r\n" + l300 + "\r\n" + l5000 + "\r\n" + l100k + "\r\nk=1\r\n"},
        {kLongNames,
         {{kLongSection, "Luma Threshold", "-1"}, {kLongSection, kLongKey, kLongValue + "w"}},
         std::string("[") + kLongSection + std::string("]\r\n") + kLongKey + std::string("=") +
             kLongValue + "w\r\nLuma Threshold=-1" + kLongComment + "\r\n"}};
    // clang-format on
    for (auto& c : cases) {
        SettingsStore store = FromText(c.in);
        for (const Set& set : c.sets) {
            store.SetString(set.section, set.key, set.value);
        }
        EXPECT_EQ(SavedText(store), c.out) << c.in.substr(0, 60);
    }
}

// A failed save discards the list; a folder in the file's place keeps its contents (the
// settings-file tests cover the rest).
TEST_F(SettingsStoreTest, MissingUnreadableAndFolderPaths) {
    SettingsStore store;
    EXPECT_EQ(store.LoadFile(File("missing.ini").string().c_str()), LoadResult::Missing);
    EXPECT_EQ(store.LoadFile(dir_.string().c_str()), LoadResult::Failed);
    WriteAll(File("kept.txt"), "mine");
    store = FromText("[S]\nk=1\n");
    EXPECT_FALSE(store.Save(dir_.string().c_str()));
    EXPECT_EQ(store.LineCount(), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(File("kept.txt")));
}

}  // namespace
}  // namespace vel
