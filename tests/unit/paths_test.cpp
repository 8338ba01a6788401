#include "dialogs/Paths.h"

#include <gtest/gtest.h>

namespace tessaloom {
namespace {

TEST(FolderName, AcceptsOrdinaryNames) {
    for (const char* name :
         {"Alpha", "Beta Server", "a.b", "COM0", "LPT10", "CONSOLE", "nul_x", "\xC9t\xE9", "x=y"}) {
        EXPECT_TRUE(IsValidFolderName(name)) << name;
    }
}

TEST(FolderName, RefusesNamesThatAreNotOneFolder) {
    for (const char* name : {"",           ".",          "..",    "..\\..\\Windows",
                             "a/b",        "c:",         "a*",    "a?",
                             "\"q\"",      "<",          ">",     "a|b",
                             "line\nfeed", "cr\r",       "tab\t", "trailing ",
                             "trailing.",  "CON",        "con",   "Prn.txt",
                             "AUX",        "NUL.tar.gz", "COM1",  "com9.log",
                             "LPT1",       "lpt9",       "NUL "}) {
        EXPECT_FALSE(IsValidFolderName(name)) << name;
    }
}

TEST(Destination, ComposedFromFolderAndName) {
    EXPECT_EQ(ComposeDestination("D:\\Tests", "Alpha"), "D:\\Tests\\Alpha\\");
    EXPECT_EQ(ComposeDestination("D:\\", "Alpha"), "D:\\Alpha\\");
    EXPECT_EQ(ComposeDestination("\\\\host\\share\\", "A"), "\\\\host\\share\\A\\");
}

TEST(Destination, PathBufferLimit) {
    EXPECT_TRUE(FitsInPathBuffer(259));
    EXPECT_FALSE(FitsInPathBuffer(260));
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
