#include "catalogue_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fault.h"

namespace fs = std::filesystem;
using catalogue_server::CatalogueServer;
using catalogue_server::Fault;
using catalogue_server::FaultAction;
using catalogue_server::ParseFault;

namespace {

Fault ParseOk(const std::string& text) {
    std::string error;
    const auto fault = ParseFault(text, error);
    EXPECT_TRUE(fault) << text << ": " << error;
    return fault.value_or(Fault{});
}

TEST(FaultParser, AcceptsEachKind) {
    Fault f = ParseOk("/Tessaloom/TestServers.txt:status=404");
    EXPECT_EQ(f.path, "/Tessaloom/TestServers.txt");
    EXPECT_EQ(f.action, FaultAction::Status);
    EXPECT_EQ(f.status, 404);
    EXPECT_EQ(f.failFirst, 0);

    f = ParseOk("/a:truncate=0");
    EXPECT_EQ(f.action, FaultAction::Truncate);
    EXPECT_EQ(f.truncateAt, 0u);

    f = ParseOk("/a:delay=2000");
    EXPECT_EQ(f.action, FaultAction::None);
    EXPECT_EQ(f.delayMs, 2000);

    EXPECT_EQ(ParseOk("/a:close").action, FaultAction::Close);

    // failfirst alone answers 500; with a status, that status; it can limit other faults too.
    f = ParseOk("/a:failfirst=2");
    EXPECT_EQ(f.action, FaultAction::Status);
    EXPECT_EQ(f.status, 500);
    EXPECT_EQ(f.failFirst, 2);
    f = ParseOk("/a:failfirst=2,status=503");
    EXPECT_EQ(f.status, 503);
    f = ParseOk("/a:close,failfirst=1,delay=10");
    EXPECT_EQ(f.action, FaultAction::Close);
    EXPECT_EQ(f.failFirst, 1);
    EXPECT_EQ(f.delayMs, 10);

    // The options start after the last colon.
    EXPECT_EQ(ParseOk("/odd:name.txt:status=410").path, "/odd:name.txt");

    f = ParseOk("/a:redirect=../b/a.txt?x=1,failfirst=5");
    EXPECT_EQ(f.action, FaultAction::Redirect);
    EXPECT_EQ(f.location, "../b/a.txt?x=1");
    EXPECT_EQ(f.failFirst, 5);
    EXPECT_EQ(ParseOk("/a:unreachable").action, FaultAction::Unreachable);

    // How the file is sent, alone or with a cut.
    f = ParseOk("/a:chunked=4096,truncate=100000,stall=5000");
    EXPECT_EQ(f.action, FaultAction::Truncate);
    EXPECT_EQ(f.chunkSize, 4096u);
    EXPECT_EQ(f.truncateAt, 100000u);
    EXPECT_EQ(f.stallMs, 5000);
    f = ParseOk("/a:size=999999999999,nolength");
    EXPECT_EQ(f.action, FaultAction::None);
    EXPECT_EQ(f.size, 999999999999u);
    EXPECT_TRUE(f.noLength);
    EXPECT_FALSE(ParseOk("/a:stall=1").size);
    EXPECT_EQ(ParseOk("/a:trickle=5000,nolength").trickleMs, 5000);
}

TEST(FaultParser, RejectsMalformed) {
    for (const char* text : {"",
                             "/a",
                             "/a:",
                             "a:status=404",
                             ":status=404",
                             "/a:status",
                             "/a:status=",
                             "/a:status=200",
                             "/a:status=600",
                             "/a:status=40x",
                             "/a:status=-404",
                             "/a:truncate=",
                             "/a:delay=1e3",
                             "/a:close=1",
                             "/a:failfirst=0",
                             "/a:bogus=1",
                             "/a:status=404,",
                             "/a:,close",
                             "/a:status=404,close",
                             "/a:truncate=1,status=500",
                             "/a:delay=1,delay=2",
                             "/a:status=99999999999999999999",
                             "/a:redirect=",
                             "/a:redirect=/b,close",
                             "/a:unreachable=1",
                             "/a:unreachable,status=404",
                             "/a:redirect=/b c",
                             "/a:stall=1,stall=2",
                             "/a:chunked=0",
                             "/a:chunked=16777217",
                             "/a:chunked=4,nolength",
                             "/a:nolength=1",
                             "/a:size=1,size=2",
                             "/a:status=404,chunked=4",
                             "/a:close,stall=10",
                             "/a:trickle=0",
                             "/a:trickle=5,chunked=4",
                             "/a:status=500,trickle=5",
                             "/a:redirect=/b,size=10"}) {
        std::string error;
        EXPECT_FALSE(ParseFault(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

const std::string kBinary = std::string("head\0mid\r\nline\xC3\xA9\xFF\r\n", 19);

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/catalogue-server-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        fs::create_directories(m_dir / "root/Tessaloom/aurora");
        Write(m_dir / "root/Tessaloom/aurora/QuorvaneLauncher.url", kBinary);
        Write(m_dir / "root/Tessaloom/TestServers.txt", "Aurora Test=aurora\r\n");
        Write(m_dir / "secret.txt", "outside the root");
        m_server = std::make_unique<CatalogueServer>((m_dir / "root").string(),
                                                     (m_dir / "requests.log").string());
        m_port = m_server->Bind("127.0.0.1", 0);
        ASSERT_GT(m_port, 0);
        ASSERT_TRUE(m_server->Start());
        m_client = std::make_unique<httplib::Client>("127.0.0.1", m_port);
        m_client->set_read_timeout(5, 0);
    }
    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_dir);
    }
    static void Write(const fs::path& file, const std::string& data) {
        std::ofstream(file, std::ios::binary) << data;
    }
    void Control(const std::string& command, const httplib::Params& params = {}) {
        const auto res = m_client->Get("/__control/" + command, params, httplib::Headers{});
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200) << res->body;
        EXPECT_EQ(res->body, "ok");
    }
    void AddFault(const std::string& text) { Control("fault", {{"rule", text}}); }
    std::string ControlLog() {
        const auto res = m_client->Get("/__control/log");
        return res ? res->body : "(no answer)";
    }

    // A GET written by hand and what comes back on the wire, until the server ends the
    // connection, `waitMs` passes without a byte, or `most` bytes have come.
    struct Wire {
        std::string head;  // status line and headers, up to the blank line
        std::string body;  // the bytes after it, as sent (chunk framing included)
        bool ended = false;
    };
    Wire RawGet(const std::string& path, const std::string& version, int waitMs = 5000,
                std::size_t most = 1 << 20) {
        Wire wire;
        const int sock = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(m_port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval timeout{waitMs / 1000, (waitMs % 1000) * 1000};
        setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(sock);
            ADD_FAILURE() << "cannot connect";
            return wire;
        }
        const std::string request =
            "GET " + path + " " + version + "\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        send(sock, request.data(), request.size(), 0);
        std::string all;
        char buffer[65536];
        while (all.size() < most) {
            const ssize_t n = recv(sock, buffer, sizeof buffer, 0);
            wire.ended = n == 0;
            if (n <= 0) break;
            all.append(buffer, static_cast<std::size_t>(n));
        }
        close(sock);
        const auto blank = all.find("\r\n\r\n");
        wire.head = all.substr(0, blank == std::string::npos ? all.size() : blank + 2);
        if (blank != std::string::npos) wire.body = all.substr(blank + 4);
        return wire;
    }

    fs::path m_dir;
    std::unique_ptr<CatalogueServer> m_server;
    int m_port = 0;
    std::unique_ptr<httplib::Client> m_client;
};

const char kLauncher[] = "/Tessaloom/aurora/QuorvaneLauncher.url";

TEST_F(ServerTest, ServesFilesByteExact) {
    auto res = m_client->Get(kLauncher, {{"Accept-Encoding", "gzip, deflate, br"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, kBinary);
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(kBinary.size()));
    EXPECT_EQ(res->get_header_value("Cache-Control"), "no-store");
    EXPECT_FALSE(res->has_header("Content-Encoding"));

    res = m_client->Get("/Tessaloom/TestServers.txt", {{"Accept-Encoding", "gzip, deflate, br"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "Aurora Test=aurora\r\n");
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain");
    EXPECT_FALSE(res->has_header("Content-Encoding"));
}

TEST_F(ServerTest, PortIsNotShared) {
    CatalogueServer second((m_dir / "root").string());
    EXPECT_EQ(second.Bind("127.0.0.1", m_port), -1);
}

TEST_F(ServerTest, MissingFilesFoldersAndTraversalAre404) {
    for (const char* path :
         {"/Tessaloom/missing.txt", "/Tessaloom/aurora", "/../secret.txt",
          "/Tessaloom/../../secret.txt", "/Tessaloom/%2e%2e/%2E%2E/secret.txt"}) {
        const auto res = m_client->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->body.find("outside"), std::string::npos) << path;
    }
    const auto res = m_client->Post(kLauncher, "x", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 405);
}

TEST_F(ServerTest, StatusFaultAndFailFirstCounting) {
    // The value may come unencoded, '=' and all.
    ASSERT_EQ(m_client->Get("/__control/fault?rule=/Tessaloom/TestServers.txt:status=404")->body,
              "ok");
    AddFault(std::string(kLauncher) + ":failfirst=2,status=503");
    std::vector<int> statuses;
    for (int i = 0; i < 2; ++i)
        statuses.push_back(m_client->Get("/Tessaloom/TestServers.txt")->status);
    for (int i = 0; i < 4; ++i) statuses.push_back(m_client->Get(kLauncher)->status);
    EXPECT_EQ(statuses, (std::vector<int>{404, 404, 503, 503, 200, 200}));

    // Replacing a fault restarts its count.
    AddFault(std::string(kLauncher) + ":failfirst=1");
    EXPECT_EQ(m_client->Get(kLauncher)->status, 500);
    EXPECT_EQ(m_client->Get(kLauncher)->status, 200);

    // Clearing removes faults and the log.
    Control("clear");
    EXPECT_EQ(m_client->Get("/Tessaloom/TestServers.txt")->status, 200);
    EXPECT_EQ(ControlLog(), "GET /Tessaloom/TestServers.txt 200 HTTP/1.1\n");
}

TEST_F(ServerTest, TruncateAnnouncesFullLengthAndSendsPrefix) {
    AddFault(std::string(kLauncher) + ":truncate=6");
    std::string length, body;
    const auto res = m_client->Get(
        kLauncher,
        [&](const httplib::Response& r) {
            length = r.get_header_value("Content-Length");
            return true;
        },
        [&](const char* data, size_t n) {
            body.append(data, n);
            return true;
        });
    EXPECT_FALSE(res);
    EXPECT_EQ(length, std::to_string(kBinary.size()));
    EXPECT_EQ(body, kBinary.substr(0, 6));
}

TEST_F(ServerTest, CloseAndDelayFaults) {
    AddFault("/Tessaloom/TestServers.txt:close");
    AddFault(std::string(kLauncher) + ":delay=300");
    const auto closed = m_client->Get("/Tessaloom/TestServers.txt");
    EXPECT_FALSE(closed);

    const auto begin = std::chrono::steady_clock::now();
    const auto delayed = m_client->Get(kLauncher);
    ASSERT_TRUE(delayed);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(300));
    EXPECT_EQ(delayed->body, kBinary);
}

// A body cut inside a chunk, or right after one, ends the connection without the last chunk;
// an HTTP/1.0 request, which cannot take chunks, gets the file with its length, cut at the
// same byte.
TEST_F(ServerTest, ChunkedBodiesWholeOrCut) {
    AddFault(std::string(kLauncher) + ":chunked=5");
    Wire wire = RawGet(kLauncher, "HTTP/1.1");
    EXPECT_NE(wire.head.find("Transfer-Encoding: chunked\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.head.find("Content-Length"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, "5\r\n" + kBinary.substr(0, 5) + "\r\n5\r\n" + kBinary.substr(5, 5) +
                             "\r\n5\r\n" + kBinary.substr(10, 5) + "\r\n4\r\n" +
                             kBinary.substr(15) + "\r\n0\r\n\r\n");
    EXPECT_EQ(m_client->Get(kLauncher)->body, kBinary);  // a client that decodes chunks

    AddFault(std::string(kLauncher) + ":chunked=5,truncate=7");
    wire = RawGet(kLauncher, "HTTP/1.1");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.body, "5\r\n" + kBinary.substr(0, 5) + "\r\n5\r\n" + kBinary.substr(5, 2));
    EXPECT_FALSE(m_client->Get(kLauncher));

    AddFault(std::string(kLauncher) + ":chunked=5,truncate=10");
    wire = RawGet(kLauncher, "HTTP/1.1");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.body,
              "5\r\n" + kBinary.substr(0, 5) + "\r\n5\r\n" + kBinary.substr(5, 5) + "\r\n");
    EXPECT_FALSE(m_client->Get(kLauncher));

    wire = RawGet(kLauncher, "HTTP/1.0");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.head.find("Transfer-Encoding"), std::string::npos) << wire.head;
    EXPECT_NE(wire.head.find("Content-Length: 19\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, kBinary.substr(0, 10));
}

// Bodies of any length, made as they are sent; without a length, the end of the connection
// ends the body.
TEST_F(ServerTest, SizeAndNoLength) {
    AddFault(std::string(kLauncher) + ":size=5");
    Wire wire = RawGet(kLauncher, "HTTP/1.1");
    EXPECT_NE(wire.head.find("Content-Length: 5\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, kBinary.substr(0, 5));

    AddFault(std::string(kLauncher) + ":size=25,nolength");
    wire = RawGet(kLauncher, "HTTP/1.1");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.head.find("Content-Length"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, kBinary + std::string(6, '\n'));

    AddFault(std::string(kLauncher) + ":nolength,truncate=3");
    wire = RawGet(kLauncher, "HTTP/1.0");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.body, kBinary.substr(0, 3));

    AddFault(std::string(kLauncher) + ":size=999999999999");
    wire = RawGet(kLauncher, "HTTP/1.0", 5000, 300000);
    EXPECT_NE(wire.head.find("Content-Length: 999999999999\r\n"), std::string::npos) << wire.head;
    ASSERT_GE(wire.body.size(), 200000u);
    EXPECT_EQ(wire.body.substr(0, kBinary.size()), kBinary);
    EXPECT_EQ(wire.body.find_first_not_of('\n', kBinary.size()), std::string::npos);
}

TEST_F(ServerTest, RedirectFault) {
    AddFault(std::string(kLauncher) + ":redirect=QuorvaneLauncher.url,failfirst=2");
    for (int i = 0; i < 2; ++i) {
        const auto res = m_client->Get(kLauncher);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 302);
        EXPECT_EQ(res->get_header_value("Location"), "QuorvaneLauncher.url");
    }
    EXPECT_EQ(m_client->Get(kLauncher)->body, kBinary);
    EXPECT_EQ(ControlLog(), std::string("GET ") + kLauncher + " 302 HTTP/1.1\nGET " + kLauncher +
                                " 302 HTTP/1.1\nGET " + kLauncher + " 200 HTTP/1.1\n");
}

// The redirect leads to a port where a connection attempt gets no answer at all.
TEST_F(ServerTest, UnreachableFault) {
    AddFault(std::string(kLauncher) + ":unreachable");
    const auto res = m_client->Get(kLauncher);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 302);
    const std::string location = res->get_header_value("Location");
    const std::string prefix = "http://127.0.0.1:";
    ASSERT_EQ(location.compare(0, prefix.size(), prefix), 0) << location;
    const std::size_t path = location.find('/', prefix.size());
    ASSERT_NE(path, std::string::npos);
    EXPECT_EQ(location.substr(path), kLauncher);

    httplib::Client tarpit(location.substr(0, path));
    tarpit.set_connection_timeout(1);
    EXPECT_FALSE(tarpit.Get(kLauncher)) << "a connection to " << location;
}

// The headers go out, then nothing; stopping the server ends the wait.
TEST_F(ServerTest, StallAfterTheHeaders) {
    AddFault(std::string(kLauncher) + ":stall=600000");
    const Wire wire = RawGet(kLauncher, "HTTP/1.0", 500);
    EXPECT_NE(wire.head.find("HTTP/1.1 200 OK\r\n"), std::string::npos) << wire.head;
    EXPECT_NE(wire.head.find("Content-Length: 19\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, "");
    EXPECT_FALSE(wire.ended);

    const auto begin = std::chrono::steady_clock::now();
    m_server.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
}

TEST_F(ServerTest, TrickleSendsOneByteAtATime) {
    AddFault(std::string(kLauncher) + ":trickle=20");
    const auto begin = std::chrono::steady_clock::now();
    const Wire wire = RawGet(kLauncher, "HTTP/1.0");
    EXPECT_NE(wire.head.find("Content-Length: 19\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, kBinary);
    // A pause before each of the 19 bytes.
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(19 * 20));
}

TEST_F(ServerTest, LogsRequestsButNotControl) {
    m_client->Get("/Tessaloom/TestServers.txt");
    AddFault("/x:close");
    m_client->Get("/x");
    RawGet("/nope", "HTTP/1.0");
    const std::string expected =
        "GET /Tessaloom/TestServers.txt 200 HTTP/1.1\n"
        "GET /x 000 HTTP/1.1\n"
        "GET /nope 404 HTTP/1.0\n";
    EXPECT_EQ(ControlLog(), expected);

    const auto bad = m_client->Get("/__control/fault?rule=%2Fx%3Abogus");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_EQ(m_client->Get("/__control/unknown")->status, 404);

    m_server.reset();  // flushes and closes the log file
    std::ifstream file(m_dir / "requests.log");
    const std::string logged((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
    EXPECT_EQ(logged, expected);
}

}  // namespace
