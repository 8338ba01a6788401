#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"
#include "catalogue/Download.h"
#include "catalogue/ServerList.h"
#include "fake/FakePlatform.h"
#include "platform/MemoryStream.h"

namespace tessaloom {
namespace {

std::vector<std::pair<std::string, std::string>> Parse(const std::string& text, bool cut = false) {
    std::vector<std::pair<std::string, std::string>> result;
    for (const ServerEntry& entry : ParseServerList(text, cut)) {
        result.emplace_back(entry.name, entry.value);
    }
    return result;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(ServerListParse, FormatEdgeCases) {
    EXPECT_EQ(Parse("a=1\nb=2"), (Entries{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(Parse("a=1\r\nb=2\r\n"), (Entries{{"a", "1\r"}, {"b", "2\r"}}));
    EXPECT_EQ(Parse("a=1\n\nb=2\n"), (Entries{{"a", "1"}, {"\nb", "2"}}));
    EXPECT_EQ(Parse("header\nx=1\n"), (Entries{{"header\nx", "1"}}));
    EXPECT_EQ(Parse("a=b=c\n"), (Entries{{"a", "b=c"}}));
    EXPECT_EQ(Parse("=x\n"), (Entries{{"", "x"}}));
    EXPECT_EQ(Parse("a=\n"), (Entries{{"a", ""}}));
    EXPECT_EQ(Parse("a=1\ntrailing"), (Entries{{"a", "1"}}));
    EXPECT_EQ(Parse(" a = 1 \n"), (Entries{{" a ", " 1 "}}));
    EXPECT_TRUE(Parse("").empty());
    EXPECT_TRUE(Parse("no entries\nhere\n").empty());
}

TEST(ServerListParse, CutListDropsOnlyTheShortenedEntry) {
    EXPECT_EQ(Parse("a=1\nb=2", true), (Entries{{"a", "1"}}));
    EXPECT_EQ(Parse("a=1\nb=2\n", true), (Entries{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(Parse("a=1\nbbb", true), (Entries{{"a", "1"}}));
}

std::string ListOfSize(std::size_t size, const std::string& lastName) {
    // Entries "sNNN=vNNN\n" of 10 bytes, then a last entry filling up to `size`.
    std::string text;
    for (int i = 0; text.size() + 10 + lastName.size() + 2 <= size; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "s%03d=v%03d\n", i, i);
        text += line;
    }
    text += lastName + "=";
    text += std::string(size - text.size(), 'x');
    return text;
}

ServerListText ReadText(const std::string& bytes) {
    MemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return ReadServerListText(stream);
}

TEST(ServerListRead, OnlyTheFirst1024BytesCount) {
    std::string exact = ListOfSize(1024, "last");
    ServerListText text = ReadText(exact);
    EXPECT_EQ(text.text, exact);
    EXPECT_FALSE(text.cut);
    std::vector<ServerEntry> entries = ParseServerList(text.text, text.cut);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().name, "last");

    // The value of the last entry runs past the limit: it is dropped, not shortened.
    text = ReadText(exact + "tail\nnext=1\n");
    EXPECT_EQ(text.text.size(), 1024u);
    EXPECT_TRUE(text.cut);
    entries = ParseServerList(text.text, text.cut);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.size(), exact.find("last=") / 10);
    EXPECT_NE(entries.back().name, "last");

    // Its line ending just past the limit, LF or CR LF, the end of the file or a zero byte,
    // which ends the text: the entry was whole.
    for (const std::string& after : {std::string("\nnext=1\n"), std::string("\r\nnext=1\r\n"),
                                     std::string("\r"), std::string(), std::string("\0tail", 5)}) {
        text = ReadText(exact + after);
        EXPECT_FALSE(text.cut) << after;
        EXPECT_EQ(ParseServerList(text.text, text.cut).back().name, "last") << after;
    }
}

TEST(ServerListEncoding, Utf8UnlessTheBytesSayOtherwise) {
    const auto encoding = [](std::string text, bool cut = false) {
        TextEncoding result = TakeServerListEncoding(text, cut);
        return std::make_pair(result, text);
    };
    using Result = std::pair<TextEncoding, std::string>;
    EXPECT_EQ(encoding("a=1\n"), (Result{TextEncoding::kUtf8, "a=1\n"}));
    EXPECT_EQ(encoding("\xEF\xBB\xBF"
                       "Alpha=a\n"),
              (Result{TextEncoding::kUtf8, "Alpha=a\n"}));
    EXPECT_EQ(
        encoding("\xD0\x91\xD0\xB5\xD1\x82\xD0\xB0=b\n\xF0\x9F\x8E\xAE=c"),
        (Result{TextEncoding::kUtf8, "\xD0\x91\xD0\xB5\xD1\x82\xD0\xB0=b\n\xF0\x9F\x8E\xAE=c"}));
    // A BOM only counts at the very start.
    EXPECT_EQ(encoding("a=\xEF\xBB\xBF\n").second, "a=\xEF\xBB\xBF\n");
    // Western bytes, an overlong form, a surrogate, a stray continuation byte, a character
    // past U+10FFFF: not UTF-8.
    for (const char* bytes :
         {"Caf\xE9=c\n", "\xC0\xAF=x", "\xED\xA0\x80=x", "\x80=x", "\xF4\x90\x80\x80=x",
          "\xEF\xBB\xBF"
          "Caf\xE9=c"}) {
        EXPECT_EQ(encoding(bytes).first, TextEncoding::kSystemAnsi) << bytes;
    }
    // A character cut by the limit is no reason to doubt the rest; one that ends the whole
    // file is.
    EXPECT_EQ(encoding("\xD0\x91=b\nx=\xD0", true).first, TextEncoding::kUtf8);
    EXPECT_EQ(encoding("\xD0\x91=b\nx=\xD0", false).first, TextEncoding::kSystemAnsi);
}

TEST(ServerListRead, TextEndsAtTheFirstZeroByte) {
    std::string bytes("a=1\nb=2", 7);
    bytes += std::string(1, '\0') + "c=3\n";
    ServerListText text = ReadText(bytes);
    EXPECT_EQ(text.text, "a=1\nb=2");
    EXPECT_FALSE(text.cut);
    EXPECT_EQ(ParseServerList(text.text, text.cut).size(), 2u);
    EXPECT_EQ(ReadText(std::string(1, '\0') + "a=1\n").text, "");
}

TEST(ServerListRead, FailedReadGivesAnEmptyText) {
    class Failing : public Stream {
    public:
        bool Stat(std::uint64_t& size) override {
            size = 10;
            return true;
        }
        bool Read(void*, std::uint32_t, std::uint32_t& read) override {
            read = 5;
            return false;
        }
    } stream;
    EXPECT_EQ(ReadServerListText(stream).text, "");
}

TEST(ServerDirectory, RemovesEveryCarriageReturn) {
    EXPECT_EQ(ServerDirectory("alpha\r"), "alpha");
    EXPECT_EQ(ServerDirectory("\ral\rpha\r\r"), "alpha");
    EXPECT_EQ(ServerDirectory("beta"), "beta");
}

TEST(DownloadErrorText, PadsTheCodeAndShowsTheWholeUrl) {
    EXPECT_EQ(DownloadErrorText(0x800C0008u, "http://h/Tessaloom/TestServers.txt"),
              "An error (0x800c0008) occured while downloading "
              "http://h/Tessaloom/TestServers.txt.\nPlease contact support@tessaloom.example, or "
              "try to download the file manually.");
    EXPECT_NE(DownloadErrorText(0x5, "u").find("(0x00000005)"), std::string::npos);
}

class DownloadTest : public ::testing::Test {
protected:
    FakePlatform fake;
    const std::string url = "http://h/Tessaloom/aurora/QuorvaneLauncher.url";
    StreamPtr stream;
};

TEST_F(DownloadTest, ImmediateSuccessShowsNothing) {
    fake.replies[url] = {Body("ok")};
    EXPECT_TRUE(DownloadToStream(fake, url, stream, kConnectionFileLimit));
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(fake.fetchedUrls, std::vector<std::string>{url});
}

TEST_F(DownloadTest, RetryRepeatsTheSameUrlUntilItWorks) {
    fake.replies[url] = {Failure(0x80190194u), Failure(0x80190194u), Body("ok")};
    fake.answers = {kIdRetry, kIdRetry};
    EXPECT_TRUE(DownloadToStream(fake, url, stream, kConnectionFileLimit));
    EXPECT_EQ(fake.fetchedUrls, std::vector<std::string>(3, url));
    ASSERT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.boxes[0].text, DownloadErrorText(0x80190194u, url));
    EXPECT_EQ(fake.boxes[0].title, "Tessaloom");
    EXPECT_EQ(fake.boxes[0].style, kMbRetryCancel);  // no icon
}

TEST_F(DownloadTest, CancelGivesUpWithoutAStream) {
    fake.replies[url] = {Failure(kResultDownloadFailure)};
    fake.answers = {kIdRetry, kIdCancel};
    EXPECT_FALSE(DownloadToStream(fake, url, stream, kConnectionFileLimit));
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.fetchedUrls.size(), 2u);
}

TEST_F(DownloadTest, AbortIsSilent) {
    fake.replies[url] = {Failure(kResultAborted)};
    EXPECT_FALSE(DownloadToStream(fake, url, stream, kConnectionFileLimit));
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(fake.fetchedUrls.size(), 1u);
}

}  // namespace
}  // namespace tessaloom
