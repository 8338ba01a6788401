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
    // The longest path written below it is the destination joined to 43 more characters.
    const std::string relative = std::string(20, 'r') + "\\" + std::string(22, 'f');
    const std::string fits = "D:\\" + std::string(212, 'x') + "\\";
    ASSERT_EQ(JoinPath(fits, relative).size(), 259u);
    EXPECT_TRUE(DestinationFits(fits, relative));
    EXPECT_TRUE(DestinationFits(fits.substr(0, fits.size() - 1), relative));
    EXPECT_FALSE(DestinationFits("D:\\" + std::string(213, 'x') + "\\", relative));
    // The shell's own limit on its lists.
    EXPECT_TRUE(DestinationFits("C:\\" + std::string(255, 's'), ""));
    EXPECT_FALSE(DestinationFits("C:\\" + std::string(256, 's'), ""));
    EXPECT_TRUE(FitsInShellList(std::string(258, 's')));
    EXPECT_FALSE(FitsInShellList(std::string(259, 's')));
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

}  // namespace
}  // namespace tessaloom
