#include "platform/SettingsStore.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <csignal>
#include <limits>
#include <new>
#include <string>

#include "tests/settings/TestFiles.h"
#include "tests/support/FailingAllocator.h"

namespace vel {
namespace {

using test::ReadAll;
using test::WriteAll;

class SettingsStoreTest : public test::TempDirTest {
  protected:
    // Loads text as a file another program wrote.
    SettingsStore FromText(const std::string& text) {
        const auto path = File("in.ini");
        WriteAll(path, text);
        SettingsStore store;
        EXPECT_EQ(store.LoadFile(path.string().c_str()), LoadResult::Loaded);
        return store;
    }
    std::string SavedText(SettingsStore& store) {
        const auto path = File("out.ini");
        EXPECT_TRUE(store.Save(path.string().c_str()));
        return ReadAll(path);
    }
};

TEST_F(SettingsStoreTest, ClassificationLooksOnlyBeforeTheComment) {
    EXPECT_EQ(SettingsStore::Classify("[Section]"), LineKind::Section);
    EXPECT_EQ(SettingsStore::Classify("]odd order["), LineKind::Section);
    EXPECT_EQ(SettingsStore::Classify("Path=[x]"), LineKind::Section);
    EXPECT_EQ(SettingsStore::Classify("[only open=1"), LineKind::Key);
    EXPECT_EQ(SettingsStore::Classify("Key=v ; [not] a header"), LineKind::Key);
    EXPECT_EQ(SettingsStore::Classify("; a=b"), LineKind::Other);
    EXPECT_EQ(SettingsStore::Classify(""), LineKind::Other);
    EXPECT_EQ(SettingsStore::Classify("just words"), LineKind::Other);
}

TEST_F(SettingsStoreTest, SectionsAndKeysMatchWithoutCaseButWithoutTrimming) {
    SettingsStore store = FromText(
        "Orphan=1\n"
        "[vel noise reduction 0]\n"
        "luma threshold=5\n"
        "Chroma Threshold =7\n"
        " Light Correction=3\n"
        "Dark Correction=4\n"
        "Dark Correction=8\n"
        "[VEL Noise Reduction 0]\n"
        "High Quality=0\n");
    const char* s = "VEL Noise Reduction 0";
    EXPECT_EQ(store.GetInt(s, "Luma Threshold", -9), 5);
    EXPECT_EQ(store.GetInt(s, "Chroma Threshold", -9), -9);
    EXPECT_EQ(store.GetInt(s, "Chroma Threshold ", -9), 7);
    EXPECT_EQ(store.GetInt(s, "Light Correction", -9), -9);
    EXPECT_EQ(store.GetInt(s, "Dark Correction", -9), 4);  // first key wins
    // The first matching header wins, so the second section's key is never seen.
    EXPECT_EQ(store.GetInt(s, "High Quality", -9), -9);
    // Key lines before the first header belong to no section.
    EXPECT_EQ(store.GetString("", "Orphan", "none"), "none");
    EXPECT_EQ(store.GetString(" VEL Noise Reduction 0", "luma threshold", "none"), "none");
}

TEST_F(SettingsStoreTest, RewritingKeepsKeySpellingAndOwnCommentOnly) {
    SettingsStore store = FromText(
        "[S]\n"
        "luma threshold=5\n"
        "Luma Suppression=7 ; mine\n"
        "Chroma Suppression=1\n");
    store.SetInt("S", "Luma Threshold", 3);
    store.SetInt("S", "Luma Suppression", 3);
    store.SetInt("S", "Chroma Suppression", -12);
    EXPECT_EQ(SavedText(store),
              "[S]\r\n"
              "luma threshold=3\r\n"
              "Luma Suppression=3; mine\r\n"
              "Chroma Suppression=-12\r\n");
}

TEST_F(SettingsStoreTest, MissingKeyGoesRightAfterHeaderMissingSectionAtTheEnd) {
    SettingsStore store = FromText(
        "[A]\n"
        "Luma Threshold = 5\n"
        "[B]\n"
        "x=1");
    store.SetInt("A", "Luma Threshold", 2);
    store.SetBool("A", "High Quality", true);
    store.SetString("C", "Name", "n");
    store.SetString("c", "Other", "o");
    EXPECT_EQ(SavedText(store),
              "[A]\r\n"
              "High Quality=1\r\n"
              "Luma Threshold=2\r\n"
              "Luma Threshold = 5\r\n"
              "[B]\r\n"
              "x=1\r\n"
              "[C]\r\n"
              "Other=o\r\n"
              "Name=n\r\n");
}

TEST_F(SettingsStoreTest, HeaderWithCommentIsNeverFoundButEndsTheSectionBefore) {
    SettingsStore store = FromText(
        "[P]\n"
        "a=1\n"
        "[P] ; note\n"
        "b=2\n");
    EXPECT_EQ(store.GetString("P", "a", "-"), "1");
    EXPECT_EQ(store.GetString("P", "b", "-"), "-");
    SettingsStore second = FromText("[P] ; note\nb=2\n");
    second.SetString("P", "b", "3");
    second.SetString("P", "c", "4");
    EXPECT_EQ(second.GetString("P", "b", "-"), "3");
    EXPECT_EQ(SavedText(second), "[P] ; note\r\nb=2\r\n[P]\r\nc=4\r\nb=3\r\n");
}

TEST_F(SettingsStoreTest, BracketsInAKeyLineEndTheSection) {
    SettingsStore store = FromText(
        "[S]\n"
        "Path=[x]\n"
        "Luma Threshold=4\n");
    EXPECT_EQ(store.Kind(1), LineKind::Section);
    EXPECT_EQ(store.GetInt("S", "Luma Threshold", 9), 9);
    store.SetInt("S", "Luma Threshold", 1);
    EXPECT_EQ(SavedText(store), "[S]\r\nLuma Threshold=1\r\nPath=[x]\r\nLuma Threshold=4\r\n");
}

TEST_F(SettingsStoreTest, IntegersReadLikeTheCLibraryButNeverOverflow) {
    EXPECT_EQ(SettingsStore::ParseInt("42"), 42);
    EXPECT_EQ(SettingsStore::ParseInt("  \t-7"), -7);
    EXPECT_EQ(SettingsStore::ParseInt("+13dB"), 13);
    EXPECT_EQ(SettingsStore::ParseInt("5 "), 5);
    EXPECT_EQ(SettingsStore::ParseInt("x5"), 0);
    EXPECT_EQ(SettingsStore::ParseInt(""), 0);
    EXPECT_EQ(SettingsStore::ParseInt("-"), 0);
    EXPECT_EQ(SettingsStore::ParseInt("- 5"), 0);
    EXPECT_EQ(SettingsStore::ParseInt("2147483647"), 2147483647);
    EXPECT_EQ(SettingsStore::ParseInt("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(SettingsStore::ParseInt("2147483648"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(SettingsStore::ParseInt(std::string(400, '9')), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(SettingsStore::ParseInt(std::string("-") + std::string(400, '9')),
              std::numeric_limits<int32_t>::min());
    EXPECT_EQ(SettingsStore::FormatInt(std::numeric_limits<int32_t>::min()), "-2147483648");
}

TEST_F(SettingsStoreTest, ValuesReadAsIntegersAndBooleans) {
    SettingsStore store = FromText(
        "[S]\n"
        "Empty=\n"
        "Yes=yes\n"
        "Two=2\n"
        "Minus=-1\n"
        "Zero=0\n"
        "Spaced=  12 apples ;c\n");
    EXPECT_EQ(store.GetInt("S", "Empty", 9), 0);  // an empty value is 0, not the default
    EXPECT_EQ(store.GetString("S", "Empty", "d"), "");
    EXPECT_FALSE(store.GetBool("S", "Yes", true));
    EXPECT_TRUE(store.GetBool("S", "Two", false));
    EXPECT_TRUE(store.GetBool("S", "Minus", false));
    EXPECT_FALSE(store.GetBool("S", "Zero", true));
    EXPECT_TRUE(store.GetBool("S", "Missing", true));
    EXPECT_FALSE(store.GetBool("S", "Missing", false));
    EXPECT_EQ(store.GetInt("S", "Spaced", 0), 12);
    EXPECT_EQ(store.GetString("S", "Spaced", ""), "  12 apples ");
    EXPECT_EQ(store.GetInt("S", "Missing", -3), -3);
}

TEST_F(SettingsStoreTest, LineEndsCrBeforeLfGoesLoneCrStaysWrittenAsCrLf) {
    SettingsStore store = FromText("a=1\r\nb=2\nc=3\r\r\nmid\rdle\n\n\r\nlast");
    ASSERT_EQ(store.LineCount(), 7u);
    EXPECT_EQ(store.LineText(0), "a=1");
    EXPECT_EQ(store.LineText(1), "b=2");
    EXPECT_EQ(store.LineText(2), "c=3\r");
    EXPECT_EQ(store.LineText(3), "mid\rdle");
    EXPECT_EQ(store.LineText(4), "");
    EXPECT_EQ(store.LineText(5), "");
    EXPECT_EQ(store.LineText(6), "last");
    EXPECT_EQ(SavedText(store), "a=1\r\nb=2\r\nc=3\r\r\nmid\rdle\r\n\r\n\r\nlast\r\n");
    // A CRLF file comes back byte for byte.
    const std::string crlf = "[X]\r\n; comment\r\n\r\nk=v;c\r\n";
    SettingsStore again = FromText(crlf);
    EXPECT_EQ(SavedText(again), crlf);
    SettingsStore empty = FromText("");
    EXPECT_EQ(empty.LineCount(), 0u);
    EXPECT_EQ(SavedText(empty), "");
}

TEST_F(SettingsStoreTest, LinesOfAnyLengthStayWhole) {
    const std::string l300 = "Foreign=" + std::string(292, 'a');
    const std::string l5000 = std::string("[") + std::string(4998, 'h') + "]";
    const std::string l100k = "; " + std::string(100000, 'c') + "[Trap]";
    const std::string text = "[S]\n" + l300 + "\n" + l5000 + "\n" + l100k + "\nk=1\n";
    SettingsStore store = FromText(text);
    ASSERT_EQ(store.LineCount(), 5u);
    EXPECT_EQ(store.LineText(1), l300);
    EXPECT_EQ(store.Kind(2), LineKind::Section);
    EXPECT_EQ(store.Kind(3), LineKind::Other);
    EXPECT_EQ(store.GetString("S", "Foreign", ""), std::string(292, 'a'));
    store.SetInt("S", "Luma Threshold", 1);
    EXPECT_EQ(SavedText(store), "[S]\r\nLuma Threshold=1\r\n" + l300 + "\r\n" + l5000 + "\r\n" +
                                    l100k + "\r\nk=1\r\n");

    // Names, keys, values and comments are compared and kept whole at any length: no name is
    // cut so that it matches another one, and no rewritten line is shortened.
    const std::string longSection(200, 's');
    const std::string longKey(300, 'k');
    const std::string longValue(1000, 'v');
    const std::string longComment = std::string(";") + std::string(2000, 'c');
    store = FromText(std::string("[") + longSection + "]\n" + longKey + "=" + longValue + "\n" +
                     "Luma Threshold=5" + longComment + "\n");
    EXPECT_EQ(store.GetString(longSection, longKey, "-"), longValue);
    EXPECT_EQ(store.GetString(longSection.substr(0, 131), longKey, "-"), "-");
    EXPECT_EQ(store.GetString(longSection, longKey.substr(0, 127), "-"), "-");
    store.SetInt(longSection, "Luma Threshold", -1);
    store.SetString(longSection, longKey, longValue + "w");
    EXPECT_EQ(SavedText(store), std::string("[") + longSection + "]\r\n" + longKey + "=" +
                                    longValue + "w\r\nLuma Threshold=-1" + longComment + "\r\n");
}

TEST_F(SettingsStoreTest, TextWithLineBreaksIsNeverStored) {
    SettingsStore store = FromText("[S]\nk=1\n");
    store.SetString("S", "k", "2\n[Other]\nx=1");
    store.SetString("S", "new\r", "1");
    store.SetString("S\n", "k", "1");
    EXPECT_EQ(SavedText(store), "[S]\r\nk=1\r\n");
}

TEST_F(SettingsStoreTest, AValueThatLooksLikeAHeaderIsClassifiedAsTheFileWillBe) {
    SettingsStore store = FromText("[S]\nName=a\nk=1\n");
    store.SetString("S", "Name", "[b]");
    // After a reload the line is a header, so it already counts as one.
    EXPECT_EQ(store.Kind(1), LineKind::Section);
    EXPECT_EQ(store.GetString("S", "k", "-"), "-");
}

TEST_F(SettingsStoreTest, MissingUnreadableAndFolderPaths) {
    SettingsStore store;
    EXPECT_EQ(store.LoadFile(File("missing.ini").string().c_str()), LoadResult::Missing);
    EXPECT_FALSE(store.Load(File("missing.ini").string().c_str()));
    EXPECT_EQ(store.LoadFile(nullptr), LoadResult::Failed);
    EXPECT_EQ(store.LoadFile(dir_.string().c_str()), LoadResult::Failed);
    EXPECT_EQ(store.LineCount(), 0u);
    EXPECT_FALSE(store.Save(nullptr));
    EXPECT_FALSE(store.Save(""));
}

#ifndef _WIN32  // modes, symbolic links and file size limits are POSIX's
TEST_F(SettingsStoreTest, SaveReplacesAtomicallyKeepingModeAndLinks) {
    const auto target = File("real.ini");
    WriteAll(target, "[A]\nx=1\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const auto link = File("link.ini");
    std::filesystem::create_symlink(target, link);

    SettingsStore store;
    ASSERT_TRUE(store.Load(link.string().c_str()));
    store.SetString("A", "x", "2");
    ASSERT_TRUE(store.Save(link.string().c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadAll(target), "[A]\r\nx=2\r\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FileCount(), 2u);  // no temporary file left
}

TEST_F(SettingsStoreTest, SaveByTheSuperUserKeepsTheOwner) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only the super-user can give a file away";
    }
    const auto path = File("user.ini");
    WriteAll(path, "[A]\n");
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    SettingsStore store;
    ASSERT_TRUE(store.Load(path.c_str()));
    store.SetString("A", "k", "1");
    ASSERT_TRUE(store.Save(path.c_str()));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

TEST_F(SettingsStoreTest, SaveThatCannotWriteLeavesTheOriginalByteForByte) {
    const auto path = File("host.ini");
    const std::string original = "[Host]\nbig=" + std::string(4096, 'b') + "\n";
    WriteAll(path, original);
    SettingsStore store;
    ASSERT_TRUE(store.Load(path.string().c_str()));
    store.SetString("Host", "more", std::string(100000, 'm'));

    // A full disk: the file size limit makes writes fail part-way, as ENOSPC would.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 50000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = store.Save(path.string().c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(store.LineCount(), 0u);  // a failed save discards the list
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_EQ(FileCount(), 1u);

    // A folder where the file should be, and a folder that does not exist.
    SettingsStore other = FromText("[S]\nk=1\n");
    EXPECT_FALSE(other.Save(dir_.string().c_str()));
    SettingsStore third = FromText("[S]\nk=1\n");
    EXPECT_FALSE(third.Save(File("no/such/folder.ini").string().c_str()));
}

// A folder that cannot be written: AtomicFileTest (the file is rewritten in place).

#endif

TEST_F(SettingsStoreTest, RunningOutOfMemoryWhileLoadingGivesAnEmptyListAndFailure) {
    const auto path = File("big.ini");
    WriteAll(path, "[A]\nk=1\n" + std::string(200000, 'x') + "\n[B]\nz=2\n");
    SettingsStore store;
    LoadResult result;
    {
        test::FailLargeAllocations fail(100000);
        result = store.LoadFile(path.string().c_str());
        EXPECT_GE(fail.Refused(), 1u);
    }
    EXPECT_EQ(result, LoadResult::Failed);
    EXPECT_EQ(store.LineCount(), 0u);
    EXPECT_EQ(store.LoadFile(path.string().c_str()), LoadResult::Loaded);
    EXPECT_EQ(store.LineCount(), 5u);
}

}  // namespace
}  // namespace vel
