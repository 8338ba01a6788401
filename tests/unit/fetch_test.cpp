#include "platform/http/Fetch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake/FakeTransport.h"

namespace tessaloom {
namespace {

const char kUrl[] = "http://cat.example/Tessaloom/alpha/QuorvaneLauncher.url";
constexpr FetchLimit kFile = {16, false};
constexpr FetchLimit kPrefix = {8, true};
constexpr FetchTimes kTimes = {30000, 60000};

FakeExchange Answer(const std::string& body) {
    FakeExchange exchange;
    exchange.body = body;
    return exchange;
}

FakeExchange Redirect(const std::string& location, unsigned status = 302) {
    FakeExchange exchange;
    exchange.response.status = status;
    exchange.response.location = location;
    return exchange;
}

class FetchTest : public ::testing::Test {
protected:
    ResultCode Fetch(const FetchLimit& limit = kFile, const std::string& url = kUrl) {
        stream.reset();
        const ResultCode code = FetchWithRules(transport, url, limit, kTimes, stream);
        EXPECT_EQ(transport.open, 0) << "a request was left open";
        EXPECT_EQ(code == kResultOk, stream != nullptr);
        return code;
    }
    std::string Body() {
        std::uint64_t size = 0;
        EXPECT_TRUE(stream->Stat(size));
        std::string bytes(static_cast<std::size_t>(size), '\0');
        std::uint32_t read = 0;
        if (size > 0) {
            EXPECT_TRUE(stream->Read(&bytes[0], static_cast<std::uint32_t>(size), read));
        }
        return bytes;
    }
    void Serve(std::deque<FakeExchange> answers, const std::string& url = kUrl) {
        transport.exchanges[url] = std::move(answers);
    }

    FakeTransport transport;
    StreamPtr stream;
};

TEST_F(FetchTest, OnlyAWholeBodyOfASuccessCounts) {
    FakeExchange whole = Answer("0123456789");
    whole.chunk = 3;
    Serve({whole});
    ASSERT_EQ(Fetch(), kResultOk);
    EXPECT_EQ(Body(), "0123456789");

    FakeExchange unannounced = whole;  // ends when the connection closes
    unannounced.announce = false;
    Serve({unannounced});
    ASSERT_EQ(Fetch(), kResultOk);
    EXPECT_EQ(Body(), "0123456789");

    FakeExchange cut = whole, dropped = unannounced, coded = whole, notFound = whole;
    FakeExchange noStatus = whole, negative = whole, endlessLength = whole;
    FakeExchange gzip = whole, identity = whole;
    gzip.response.encoding = "identity, GZip";  // precompressed, served unasked
    identity.response.encoding = " Identity ";
    Serve({identity});
    EXPECT_EQ(Fetch(), kResultOk);
    cut.cutAt = 4;
    dropped.cutAt = 4;
    dropped.readError = 12031;  // reset, with no length to tell the body cut
    coded.response.transferCoded = true;
    notFound.response.status = 404;
    noStatus.response.status = 1;
    negative.response.hasLength = endlessLength.response.hasLength = true;
    negative.response.length = "-1";
    endlessLength.response.length = "99999999999999999999999";
    const std::pair<FakeExchange, ResultCode> failures[] = {
        {cut, kResultDownloadFailure},           {dropped, kResultDownloadFailure},
        {coded, kResultTransferCoded},           {notFound, kResultHttpStatusBase + 404},
        {noStatus, kResultDownloadFailure},      {negative, kResultDownloadFailure},
        {endlessLength, kResultDownloadFailure}, {gzip, kResultContentCoded},
    };
    for (const auto& [answer, code] : failures) {
        Serve({answer});
        EXPECT_EQ(Fetch(), code);
    }
}

TEST_F(FetchTest, NeverHoldsMoreThanItsLimit) {
    // Announced too long: refused before any of it is read.
    Serve({Answer(std::string(17, 'x'))});
    EXPECT_EQ(Fetch(), kResultTooLarge);
    EXPECT_EQ(transport.delivered, 0u);

    // Endless, without a length: refused at the first byte past the limit.
    FakeExchange endless;
    endless.endless = true;
    endless.chunk = 5;
    Serve({endless});
    EXPECT_EQ(Fetch(), kResultTooLarge);
    EXPECT_LE(transport.delivered, 17u + 5u);

    // The list takes a prefix, long or endless, and reads no further.
    for (bool announced : {true, false}) {
        FakeExchange list = announced ? Answer("name=value\nmore=1\n") : endless;
        Serve({list});
        transport.delivered = 0;
        ASSERT_EQ(Fetch(kPrefix), kResultOk);
        EXPECT_EQ(Body(), announced ? "name=val" : "\n\n\n\n\n\n\n\n");
        EXPECT_LE(transport.delivered, 8u);
    }
}

TEST_F(FetchTest, ALargeBodyComesInPiecesItsBufferHolds) {
    // Past one piece, without a length: no read asks for more than the buffer holds (the
    // sanitizers see an overrun).
    FakeExchange large = Answer(std::string(300 * 1024, 'q'));
    large.announce = false;
    Serve({large});
    ASSERT_EQ(Fetch({1 << 20, false}), kResultOk);
    EXPECT_EQ(Body(), std::string(300 * 1024, 'q'));
}

TEST_F(FetchTest, RedirectsAreBounded) {
    const std::string base = "http://cat.example/Tessaloom/";
    Serve({Redirect("../beta/a.url", 301)});
    Serve({Redirect("//mirror.example/b.url", 307)}, base + "beta/a.url");
    Serve({Redirect("https://secure.example/c.url", 308)}, "http://mirror.example/b.url");
    Serve({Answer("done")}, "https://secure.example/c.url");
    ASSERT_EQ(Fetch(), kResultOk);
    EXPECT_EQ(Body(), "done");

    // Five are followed; the sixth fails.
    for (int i = 0; i < 5; ++i) {
        Serve({Redirect("r" + std::to_string(i + 1), i == 0 ? 303 : 302)},
              base + "r" + std::to_string(i));
    }
    Serve({Answer("five")}, base + "r5");
    ASSERT_EQ(Fetch(kFile, base + "r0"), kResultOk);
    Serve({Redirect("r6")}, base + "r5");
    transport.urls.clear();
    EXPECT_EQ(Fetch(kFile, base + "r0"), kResultRedirectFailed);
    EXPECT_EQ(transport.urls.size(), 6u);  // the request and five redirects

    // Never from an encrypted connection to a plain one.
    Serve({Redirect("http://cat.example/plain")}, "https://cat.example/x");
    Serve({Answer("plain")}, "http://cat.example/plain");
    EXPECT_EQ(Fetch(kFile, "https://cat.example/x"), kResultRedirectFailed);
    EXPECT_EQ(Fetch(kFile, "ftp://cat.example/x"), kResultUnknownProtocol);
}

TEST_F(FetchTest, NoFetchOutlastsItsTimes) {
    // Silent after the request: the silence limit.
    FakeExchange silent;
    silent.sendMs = 1000000;
    Serve({silent});
    std::uint64_t start = transport.now;
    EXPECT_EQ(Fetch(), kResultTimeout);
    EXPECT_EQ(transport.now - start, 30000u);

    // One byte every 25 seconds never trips the silence limit; the whole fetch ends at 60,
    // in the third wait, cut to what is left.
    FakeExchange trickle = Answer("0123456789");
    trickle.chunk = 1;
    trickle.readMs = 25000;
    Serve({trickle});
    start = transport.now;
    EXPECT_EQ(Fetch(), kResultTimeout);
    EXPECT_EQ(transport.now - start, 60000u);

    // The third byte answers late, past the minute: nothing more is read.
    FakeExchange late = trickle;
    late.late = true;
    Serve({late});
    start = transport.now;
    EXPECT_EQ(Fetch(), kResultTimeout);
    EXPECT_EQ(transport.now - start, 75000u);

    // Slow but in time.
    trickle.readMs = 5000;
    Serve({trickle});
    EXPECT_EQ(Fetch(), kResultOk);

    // Wine reports headers that never came as an aborted connection, once the wait is over.
    FakeExchange aborted;
    aborted.sendMs = 30000;
    aborted.sendError = 12030;
    aborted.late = true;
    Serve({aborted});
    EXPECT_EQ(Fetch(), kResultTimeout);
    aborted.sendMs = 29999;
    Serve({aborted});
    EXPECT_EQ(Fetch(), kResultDownloadFailure);
}

TEST_F(FetchTest, SystemErrorsGiveTheirCodes) {
    const std::pair<std::uint32_t, ResultCode> codes[] = {
        {12007, kResultNotFound},        {12005, kResultInvalidUrl},      {12017, kResultAborted},
        {12002, kResultTimeout},         {10060, kResultTimeout},         {8, kResultOutOfMemory},
        {12029, kResultDownloadFailure}, {12030, kResultDownloadFailure},
    };
    for (const auto& [error, code] : codes) EXPECT_EQ(FetchError(error), code) << error;
    // Every certificate and secure-channel failure.
    for (std::uint32_t error : {12037u, 12038u, 12044u, 12045u, 12046u, 12055u, 12056u, 12057u,
                                12062u, 12157u, 12169u, 12170u}) {
        EXPECT_EQ(FetchError(error), kResultInvalidCertificate) << error;
    }

    FakeExchange refused;
    refused.openError = 12007;
    FakeExchange certificate;
    certificate.sendError = 12057;
    Serve({refused, certificate, Answer("ok")});
    EXPECT_EQ(Fetch(), kResultNotFound);
    EXPECT_EQ(Fetch(), kResultInvalidCertificate);
    EXPECT_EQ(Fetch(), kResultOk);
}

TEST(CombineUrl, ResolvesLocationsAsBrowsersDo) {
    const std::string base = "http://h:8917/Tessaloom/alpha/file.url?x=1";
    EXPECT_EQ(CombineUrl(base, "https://o/p"), "https://o/p");
    EXPECT_EQ(CombineUrl(base, "//o/p"), "http://o/p");
    EXPECT_EQ(CombineUrl(base, "/a/./b/../c?q"), "http://h:8917/a/c?q");
    EXPECT_EQ(CombineUrl(base, "other.url"), "http://h:8917/Tessaloom/alpha/other.url");
    EXPECT_EQ(CombineUrl(base, "../../up"), "http://h:8917/up");
    EXPECT_EQ(CombineUrl(base, "../../../../up"), "http://h:8917/up");
    EXPECT_EQ(CombineUrl(base, "?y=2"), "http://h:8917/Tessaloom/alpha/file.url?y=2");
    EXPECT_EQ(CombineUrl("http://h", "x"), "http://h/x");
}

}  // namespace
}  // namespace tessaloom
