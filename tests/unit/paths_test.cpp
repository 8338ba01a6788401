#include "paths/Paths.h"

#include <gtest/gtest.h>

namespace tessaloom {
namespace {

TEST(FolderName, AcceptsOrdinaryNames) {
    for (const char* name : {"Alpha", "Beta Server", "a.b", "COM10", "LPT10", "COM\xC2\xB2x",
                             "CONSOLE", "nul_x", "\xC9t\xE9", "x=y"}) {
        EXPECT_TRUE(IsValidFolderName(name)) << name;
    }
}

TEST(FolderName, RefusesNamesThatAreNotOneFolder) {
    for (const char* name : {"",
                             ".",
                             "..",
                             "..\\..\\Windows",
                             "a/b",
                             "c:",
                             "a*",
                             "a?",
                             "\"q\"",
                             "<",
                             ">",
                             "a|b",
                             "line\nfeed",
                             "cr\r",
                             "tab\t",
                             "trailing ",
                             "trailing.",
                             "CON",
                             "con",
                             "Prn.txt",
                             "AUX",
                             "NUL.tar.gz",
                             "COM1",
                             "com9.log",
                             "LPT1",
                             "lpt9",
                             "NUL ",
                             "COM0",
                             "lpt0.txt",
                             "CONIN$",
                             "conout$.log",
                             "COM\xC2\xB9",
                             "LPT\xC2\xB2.x",
                             "com\xC2\xB3",
                             "COM\xB9"}) {
        EXPECT_FALSE(IsValidFolderName(name)) << name;
    }
}

TEST(Destination, ComposedFromFolderAndName) {
    EXPECT_EQ(ComposeDestination("D:\\Tests", "Alpha"), "D:\\Tests\\Alpha\\");
    EXPECT_EQ(ComposeDestination("D:\\", "Alpha"), "D:\\Alpha\\");
    EXPECT_EQ(ComposeDestination("\\\\host\\share\\", "A"), "\\\\host\\share\\A\\");
}

TEST(Destination, OneLengthRule) {
    // The deepest path the copy holds is the destination joined to 43 more characters.
    const std::size_t deepest = 43;
    const std::string fits = "D:\\" + std::string(212, 'x') + "\\";
    EXPECT_TRUE(DestinationFits(fits, deepest));
    EXPECT_TRUE(DestinationFits(fits.substr(0, fits.size() - 1), deepest));
    EXPECT_FALSE(DestinationFits("D:\\" + std::string(213, 'x') + "\\", deepest));
    EXPECT_FALSE(DestinationFits(fits, deepest + 1));
    EXPECT_TRUE(DestinationFits("D:\\", 255));
    EXPECT_FALSE(DestinationFits("D:\\", 257));
    // The shell's own limit on its lists.
    EXPECT_TRUE(DestinationFits("C:\\" + std::string(255, 's'), 0));
    EXPECT_FALSE(DestinationFits("C:\\" + std::string(256, 's'), 0));
    EXPECT_TRUE(FitsInShellList(std::string(258, 's')));
    EXPECT_FALSE(FitsInShellList(std::string(259, 's')));
}

TEST(Destination, LengthsCountUtf16UnitsAsWindowsDoes) {
    const std::string cyrillic = "\xD0\x95";       // two bytes, one unit
    const std::string japanese = "\xE8\xA1\xA8";   // three bytes, one unit
    const std::string emoji = "\xF0\x9F\x98\x80";  // four bytes, a surrogate pair
    EXPECT_EQ(Utf16Length(cyrillic + japanese + emoji + "a"), 5u);
    EXPECT_EQ(Utf16Length("\xE8\xA1"), 2u);  // a cut character: each byte stands alone
    EXPECT_EQ(Utf16Length("\xFF\x80"), 2u);

    // About 220 characters, over 400 bytes: Windows takes it, and so does every rule.
    std::string parent = "C:\\";
    for (int i = 0; i < 216; ++i) parent += i % 40 == 39 ? "\\" : cyrillic;
    ASSERT_EQ(Utf16Length(parent), 219u);
    EXPECT_TRUE(FitsInPathBuffer(parent));
    EXPECT_TRUE(FitsInShellList(parent));
    EXPECT_TRUE(DestinationFits(ComposeDestination(parent, "Alpha"), 30));
    EXPECT_FALSE(DestinationFits(ComposeDestination(parent, "Alpha"), 40));
    std::string pairs;
    for (int i = 0; i < 129; ++i) pairs += emoji;
    EXPECT_TRUE(FitsInShellList(pairs));
    EXPECT_FALSE(FitsInShellList(pairs + emoji));
}

TEST(Destination, FinalSeparators) {
    EXPECT_EQ(WithoutFinalSeparator("D:\\Tests\\Alpha\\"), "D:\\Tests\\Alpha");
    EXPECT_EQ(WithoutFinalSeparator("D:\\Tests//"), "D:\\Tests");
    EXPECT_EQ(WithoutFinalSeparator("D:\\"), "D:\\");
    EXPECT_EQ(WithoutFinalSeparator("\\\\host\\share\\"), "\\\\host\\share\\");
}

TEST(Destination, ParentFolders) {
    const auto parent = [](const std::string& path) {
        std::string result;
        return ParentFolder(path, result) ? result : "(none)";
    };
    EXPECT_EQ(parent("D:\\Tests\\Alpha\\"), "D:\\Tests");
    EXPECT_EQ(parent("D:\\Tests"), "D:\\");
    EXPECT_EQ(parent("D:\\"), "(none)");
    EXPECT_EQ(parent("\\\\host\\share\\x"), "\\\\host\\share\\");
    EXPECT_EQ(parent("\\\\host\\share\\"), "(none)");
    EXPECT_EQ(parent("D:\\a\\\\b"), "D:\\a");
    EXPECT_EQ(parent("relative"), "(none)");
    EXPECT_EQ(JoinPath("D:\\", "x"), "D:\\x");
    EXPECT_EQ(JoinPath("D:\\a", "x"), "D:\\a\\x");
}

TEST(Destination, InsideTheSourceComparesWholeComponents) {
    EXPECT_TRUE(IsSameOrInside("C:\\Games\\Q\\", "C:\\Games\\Q"));
    EXPECT_TRUE(IsSameOrInside("c:\\games\\q\\copy\\Alpha\\", "C:\\Games\\Q"));
    EXPECT_TRUE(IsSameOrInside("C:\\Games\\X\\..\\Q\\.\\Alpha\\", "C:\\Games\\Q\\"));
    EXPECT_TRUE(IsSameOrInside("C:/Games//Q/Alpha/", "C:\\Games\\Q"));
    EXPECT_FALSE(IsSameOrInside("C:\\Games\\Q2\\Alpha\\", "C:\\Games\\Q"));
    EXPECT_FALSE(IsSameOrInside("C:\\Games\\Alpha\\", "C:\\Games\\Q"));
    EXPECT_FALSE(IsSameOrInside("D:\\Games\\Q\\Alpha\\", "C:\\Games\\Q"));
    EXPECT_FALSE(IsSameOrInside("C:\\Games\\", "C:\\Games\\Q"));
}

TEST(Notices, APathBreaksAfterItsSeparatorsIntoLinesThatFit) {
    const std::string a(30, 'a'), b(40, 'b'), c(64, 'c');
    // 13 units of text before it on the first line.
    EXPECT_EQ(WrapPath("D:\\" + a + "\\" + b + "\\" + c + c + "cc\\end.txt", 13),
              "D:\\" + a + "\\\n" + b + "\\\n" + c + "\n" + c + "\n" + "cc\\end.txt");
    // Counted in UTF-16 units, never inside a character: 40 emoji are 80 units.
    std::string emoji;
    for (int i = 0; i < 40; ++i) emoji += "\xF0\x9F\x98\x80";
    EXPECT_EQ(WrapPath(emoji), emoji.substr(0, 32 * 4) + "\n" + emoji.substr(32 * 4));
    EXPECT_EQ(WrapPath("C:\\Games\\Q", 13), "C:\\Games\\Q");
    EXPECT_EQ(WrapPath("a\\" + c.substr(2)), "a\\" + c.substr(2));  // a line holds its width
}

}  // namespace
}  // namespace tessaloom
