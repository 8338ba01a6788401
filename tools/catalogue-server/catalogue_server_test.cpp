#include "catalogue_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>

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
                             "/a:status=99999999999999999999"}) {
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
    EXPECT_EQ(control_log(), "GET /Tessaloom/TestServers.txt 200\n");
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

TEST_F(ServerTest, LogsRequestsButNotControl) {
    client_->Get("/Tessaloom/TestServers.txt");
    add_fault("/x:close");
    client_->Get("/x");
    client_->Get("/nope");
    const std::string expected =
        "GET /Tessaloom/TestServers.txt 200\n"
        "GET /x 000\n"
        "GET /nope 404\n";
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
