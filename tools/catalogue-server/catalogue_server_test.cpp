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
using catalogue_server::parse_fault;

namespace {

Fault parse_ok(const std::string& text) {
    std::string error;
    const auto fault = parse_fault(text, error);
    EXPECT_TRUE(fault) << text << ": " << error;
    return fault.value_or(Fault{});
}

TEST(FaultParser, AcceptsEachKind) {
    Fault f = parse_ok("/Tessaloom/TestServers.txt:status=404");
    EXPECT_EQ(f.path, "/Tessaloom/TestServers.txt");
    EXPECT_EQ(f.action, FaultAction::Status);
    EXPECT_EQ(f.status, 404);
    EXPECT_EQ(f.fail_first, 0);

    f = parse_ok("/a:truncate=0");
    EXPECT_EQ(f.action, FaultAction::Truncate);
    EXPECT_EQ(f.truncate_at, 0u);

    f = parse_ok("/a:delay=2000");
    EXPECT_EQ(f.action, FaultAction::None);
    EXPECT_EQ(f.delay_ms, 2000);

    EXPECT_EQ(parse_ok("/a:close").action, FaultAction::Close);

    // failfirst alone answers 500; with a status, that status; it can limit other faults too.
    f = parse_ok("/a:failfirst=2");
    EXPECT_EQ(f.action, FaultAction::Status);
    EXPECT_EQ(f.status, 500);
    EXPECT_EQ(f.fail_first, 2);
    f = parse_ok("/a:failfirst=2,status=503");
    EXPECT_EQ(f.status, 503);
    f = parse_ok("/a:close,failfirst=1,delay=10");
    EXPECT_EQ(f.action, FaultAction::Close);
    EXPECT_EQ(f.fail_first, 1);
    EXPECT_EQ(f.delay_ms, 10);

    // The options start after the last colon.
    EXPECT_EQ(parse_ok("/odd:name.txt:status=410").path, "/odd:name.txt");

    f = parse_ok("/a:redirect=../b/a.txt?x=1,failfirst=5");
    EXPECT_EQ(f.action, FaultAction::Redirect);
    EXPECT_EQ(f.location, "../b/a.txt?x=1");
    EXPECT_EQ(f.fail_first, 5);
    EXPECT_EQ(parse_ok("/a:unreachable").action, FaultAction::Unreachable);

    // How the file is sent, alone or with a cut.
    f = parse_ok("/a:chunked=4096,truncate=100000,stall=5000");
    EXPECT_EQ(f.action, FaultAction::Truncate);
    EXPECT_EQ(f.chunk_size, 4096u);
    EXPECT_EQ(f.truncate_at, 100000u);
    EXPECT_EQ(f.stall_ms, 5000);
    f = parse_ok("/a:size=999999999999,nolength");
    EXPECT_EQ(f.action, FaultAction::None);
    EXPECT_EQ(f.size, 999999999999u);
    EXPECT_TRUE(f.no_length);
    EXPECT_FALSE(parse_ok("/a:stall=1").size);
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
                             "/a:redirect=/b,size=10"}) {
        std::string error;
        EXPECT_FALSE(parse_fault(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

const std::string kBinary = std::string("head\0mid\r\nline\xC3\xA9\xFF\r\n", 19);

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/catalogue-server-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::create_directories(dir_ / "root/Tessaloom/aurora");
        write(dir_ / "root/Tessaloom/aurora/QuorvaneLauncher.url", kBinary);
        write(dir_ / "root/Tessaloom/TestServers.txt", "Aurora Test=aurora\r\n");
        write(dir_ / "secret.txt", "outside the root");
        server_ = std::make_unique<CatalogueServer>((dir_ / "root").string(),
                                                    (dir_ / "requests.log").string());
        port_ = server_->bind("127.0.0.1", 0);
        ASSERT_GT(port_, 0);
        ASSERT_TRUE(server_->start());
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client_->set_read_timeout(5, 0);
    }
    void TearDown() override {
        server_.reset();
        fs::remove_all(dir_);
    }
    static void write(const fs::path& file, const std::string& data) {
        std::ofstream(file, std::ios::binary) << data;
    }
    void control(const std::string& command, const httplib::Params& params = {}) {
        const auto res = client_->Get("/__control/" + command, params, httplib::Headers{});
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200) << res->body;
        EXPECT_EQ(res->body, "ok");
    }
    void add_fault(const std::string& text) { control("fault", {{"rule", text}}); }
    std::string control_log() {
        const auto res = client_->Get("/__control/log");
        return res ? res->body : "(no answer)";
    }

    // A GET written by hand and what comes back on the wire, until the server ends the
    // connection, `wait_ms` passes without a byte, or `most` bytes have come.
    struct Wire {
        std::string head;  // status line and headers, up to the blank line
        std::string body;  // the bytes after it, as sent (chunk framing included)
        bool ended = false;
    };
    Wire raw_get(const std::string& path, const std::string& version, int wait_ms = 5000,
                 std::size_t most = 1 << 20) {
        Wire wire;
        const int sock = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port_));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval timeout{wait_ms / 1000, (wait_ms % 1000) * 1000};
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

    fs::path dir_;
    std::unique_ptr<CatalogueServer> server_;
    int port_ = 0;
    std::unique_ptr<httplib::Client> client_;
};

const char kLauncher[] = "/Tessaloom/aurora/QuorvaneLauncher.url";

TEST_F(ServerTest, ServesFilesByteExact) {
    auto res = client_->Get(kLauncher, {{"Accept-Encoding", "gzip, deflate, br"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, kBinary);
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(kBinary.size()));
    EXPECT_EQ(res->get_header_value("Cache-Control"), "no-store");
    EXPECT_FALSE(res->has_header("Content-Encoding"));

    res = client_->Get("/Tessaloom/TestServers.txt", {{"Accept-Encoding", "gzip, deflate, br"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "Aurora Test=aurora\r\n");
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain");
    EXPECT_FALSE(res->has_header("Content-Encoding"));
}

TEST_F(ServerTest, PortIsNotShared) {
    CatalogueServer second((dir_ / "root").string());
    EXPECT_EQ(second.bind("127.0.0.1", port_), -1);
}

TEST_F(ServerTest, MissingFilesFoldersAndTraversalAre404) {
    for (const char* path :
         {"/Tessaloom/missing.txt", "/Tessaloom/aurora", "/../secret.txt",
          "/Tessaloom/../../secret.txt", "/Tessaloom/%2e%2e/%2E%2E/secret.txt"}) {
        const auto res = client_->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->body.find("outside"), std::string::npos) << path;
    }
    const auto res = client_->Post(kLauncher, "x", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 405);
}

TEST_F(ServerTest, StatusFaultAndFailFirstCounting) {
    // The value may come unencoded, '=' and all.
    ASSERT_EQ(client_->Get("/__control/fault?rule=/Tessaloom/TestServers.txt:status=404")->body,
              "ok");
    add_fault(std::string(kLauncher) + ":failfirst=2,status=503");
    std::vector<int> statuses;
    for (int i = 0; i < 2; ++i)
        statuses.push_back(client_->Get("/Tessaloom/TestServers.txt")->status);
    for (int i = 0; i < 4; ++i) statuses.push_back(client_->Get(kLauncher)->status);
    EXPECT_EQ(statuses, (std::vector<int>{404, 404, 503, 503, 200, 200}));

    // Replacing a fault restarts its count.
    add_fault(std::string(kLauncher) + ":failfirst=1");
    EXPECT_EQ(client_->Get(kLauncher)->status, 500);
    EXPECT_EQ(client_->Get(kLauncher)->status, 200);

    // Clearing removes faults and the log.
    control("clear");
    EXPECT_EQ(client_->Get("/Tessaloom/TestServers.txt")->status, 200);
    EXPECT_EQ(control_log(), "GET /Tessaloom/TestServers.txt 200 HTTP/1.1\n");
}

TEST_F(ServerTest, TruncateAnnouncesFullLengthAndSendsPrefix) {
    add_fault(std::string(kLauncher) + ":truncate=6");
    std::string length, body;
    const auto res = client_->Get(
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
    add_fault("/Tessaloom/TestServers.txt:close");
    add_fault(std::string(kLauncher) + ":delay=300");
    const auto closed = client_->Get("/Tessaloom/TestServers.txt");
    EXPECT_FALSE(closed);

    const auto begin = std::chrono::steady_clock::now();
    const auto delayed = client_->Get(kLauncher);
    ASSERT_TRUE(delayed);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(300));
    EXPECT_EQ(delayed->body, kBinary);
}

// A body cut inside a chunk, or right after one, ends the connection without the last chunk;
// an HTTP/1.0 request, which cannot take chunks, gets the file with its length, cut at the
// same byte.
TEST_F(ServerTest, ChunkedBodiesWholeOrCut) {
    add_fault(std::string(kLauncher) + ":chunked=5");
    Wire wire = raw_get(kLauncher, "HTTP/1.1");
    EXPECT_NE(wire.head.find("Transfer-Encoding: chunked\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.head.find("Content-Length"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, "5\r\n" + kBinary.substr(0, 5) + "\r\n5\r\n" + kBinary.substr(5, 5) +
                             "\r\n5\r\n" + kBinary.substr(10, 5) + "\r\n4\r\n" +
                             kBinary.substr(15) + "\r\n0\r\n\r\n");
    EXPECT_EQ(client_->Get(kLauncher)->body, kBinary);  // a client that decodes chunks

    add_fault(std::string(kLauncher) + ":chunked=5,truncate=7");
    wire = raw_get(kLauncher, "HTTP/1.1");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.body, "5\r\n" + kBinary.substr(0, 5) + "\r\n5\r\n" + kBinary.substr(5, 2));
    EXPECT_FALSE(client_->Get(kLauncher));

    add_fault(std::string(kLauncher) + ":chunked=5,truncate=10");
    wire = raw_get(kLauncher, "HTTP/1.1");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.body,
              "5\r\n" + kBinary.substr(0, 5) + "\r\n5\r\n" + kBinary.substr(5, 5) + "\r\n");
    EXPECT_FALSE(client_->Get(kLauncher));

    wire = raw_get(kLauncher, "HTTP/1.0");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.head.find("Transfer-Encoding"), std::string::npos) << wire.head;
    EXPECT_NE(wire.head.find("Content-Length: 19\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, kBinary.substr(0, 10));
}

// Bodies of any length, made as they are sent; without a length, the end of the connection
// ends the body.
TEST_F(ServerTest, SizeAndNoLength) {
    add_fault(std::string(kLauncher) + ":size=5");
    Wire wire = raw_get(kLauncher, "HTTP/1.1");
    EXPECT_NE(wire.head.find("Content-Length: 5\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, kBinary.substr(0, 5));

    add_fault(std::string(kLauncher) + ":size=25,nolength");
    wire = raw_get(kLauncher, "HTTP/1.1");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.head.find("Content-Length"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, kBinary + std::string(6, '\n'));

    add_fault(std::string(kLauncher) + ":nolength,truncate=3");
    wire = raw_get(kLauncher, "HTTP/1.0");
    EXPECT_TRUE(wire.ended);
    EXPECT_EQ(wire.body, kBinary.substr(0, 3));

    add_fault(std::string(kLauncher) + ":size=999999999999");
    wire = raw_get(kLauncher, "HTTP/1.0", 5000, 300000);
    EXPECT_NE(wire.head.find("Content-Length: 999999999999\r\n"), std::string::npos) << wire.head;
    ASSERT_GE(wire.body.size(), 200000u);
    EXPECT_EQ(wire.body.substr(0, kBinary.size()), kBinary);
    EXPECT_EQ(wire.body.find_first_not_of('\n', kBinary.size()), std::string::npos);
}

TEST_F(ServerTest, RedirectFault) {
    add_fault(std::string(kLauncher) + ":redirect=QuorvaneLauncher.url,failfirst=2");
    for (int i = 0; i < 2; ++i) {
        const auto res = client_->Get(kLauncher);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 302);
        EXPECT_EQ(res->get_header_value("Location"), "QuorvaneLauncher.url");
    }
    EXPECT_EQ(client_->Get(kLauncher)->body, kBinary);
    EXPECT_EQ(control_log(), std::string("GET ") + kLauncher + " 302 HTTP/1.1\nGET " + kLauncher +
                                 " 302 HTTP/1.1\nGET " + kLauncher + " 200 HTTP/1.1\n");
}

// The redirect leads to a port where a connection attempt gets no answer at all.
TEST_F(ServerTest, UnreachableFault) {
    add_fault(std::string(kLauncher) + ":unreachable");
    const auto res = client_->Get(kLauncher);
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
    add_fault(std::string(kLauncher) + ":stall=600000");
    const Wire wire = raw_get(kLauncher, "HTTP/1.0", 500);
    EXPECT_NE(wire.head.find("HTTP/1.1 200 OK\r\n"), std::string::npos) << wire.head;
    EXPECT_NE(wire.head.find("Content-Length: 19\r\n"), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, "");
    EXPECT_FALSE(wire.ended);

    const auto begin = std::chrono::steady_clock::now();
    server_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
}

TEST_F(ServerTest, LogsRequestsButNotControl) {
    client_->Get("/Tessaloom/TestServers.txt");
    add_fault("/x:close");
    client_->Get("/x");
    raw_get("/nope", "HTTP/1.0");
    const std::string expected =
        "GET /Tessaloom/TestServers.txt 200 HTTP/1.1\n"
        "GET /x 000 HTTP/1.1\n"
        "GET /nope 404 HTTP/1.0\n";
    EXPECT_EQ(control_log(), expected);

    const auto bad = client_->Get("/__control/fault?rule=%2Fx%3Abogus");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_EQ(client_->Get("/__control/unknown")->status, 404);

    server_.reset();  // flushes and closes the log file
    std::ifstream file(dir_ / "requests.log");
    const std::string logged((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
    EXPECT_EQ(logged, expected);
}

}  // namespace
