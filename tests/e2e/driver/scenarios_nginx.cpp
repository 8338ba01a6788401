// The catalogue served by nginx (nginx.sh) in place of the catalogue server, as a catalogue's
// maintainers may serve it: files as nginx serves them by default give the whole copy, and
// files it sends precompressed (gzip_static always) are refused. The requests are checked in
// nginx's own access log.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Duplication.h"
#include "Scenario.h"
#include "Window.h"

namespace e2e {

namespace {

// What nginx.sh sets up: its access log below the scratch folder, and the server directory it
// serves with gzip_static always.
constexpr char kAccessLog[] = "nginx\\access.log";
constexpr char kCompressed[] = "gz";

constexpr unsigned long kCodeContentCoded = 0x800C000A;  // a body with a Content-Encoding

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void AppendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// `bytes` as a gzip file of stored (uncompressed) deflate blocks, which any gzip reader takes.
std::string Gzip(const std::string& bytes) {
    std::string gzip("\x1F\x8B\x08\0\0\0\0\0\0\xFF", 10);  // deflate, no name, no time
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(bytes.size() - at, 0xFFFF);
        gzip += static_cast<char>(at + length == bytes.size() ? 1 : 0);  // the last block
        AppendLittleEndian(gzip, static_cast<std::uint32_t>(length), 2);
        AppendLittleEndian(gzip, static_cast<std::uint32_t>(~length & 0xFFFF), 2);
        gzip.append(bytes, at, length);
        at += length;
    } while (at < bytes.size());
    AppendLittleEndian(gzip, Crc32(bytes), 4);
    AppendLittleEndian(gzip, static_cast<std::uint32_t>(bytes.size()), 4);
    return gzip;
}

// What nginx logged it sent for each request: "PATH ENCODING BYTES", the Content-Encoding
// being "-" for none and the bytes those of the body.
std::vector<std::string> Sent(const Catalogue& catalogue) {
    std::vector<std::string> sent;
    for (const LoggedRequest& request : catalogue.Log()) {
        sent.push_back(request.path + " " + request.more);
    }
    return sent;
}

std::string SentLine(const Catalogue& catalogue, const std::string& relative,
                     const std::string& encoding, std::size_t bytes) {
    return catalogue.PathOf(relative) + " " + encoding + " " + std::to_string(bytes);
}

}  // namespace

E2E_SCENARIO(duplicate_nginx,
             "nginx serves the catalogue: files it sends gzip-compressed refused (0x800c000a), "
             "then a whole copy from files as it serves them") {
    Options options = ctx.options;
    options.accessLog = Join(options.scratch, kAccessLog);
    const Context served(options);
    const Catalogue& catalogue = served.catalogue;
    DuplicationSetup setup;
    setup.list = std::string("Alpha=alpha\nCompressed=") + kCompressed + "\n";
    DuplicationFixture dup(served, setup);
    // Beside each file its gzip, which nginx sends in the file's place.
    const ConnectionBytes plain = MakeConnectionBytes(kCompressed);
    PublishConnectionFiles(catalogue, kCompressed, plain);
    ConnectionBytes compressed;
    for (std::size_t i = 0; i < kConnectionFileCount; ++i) {
        compressed[i] = Gzip(plain[i]);
        catalogue.WriteFile(std::string(kCompressed) + "/" + kConnectionFiles[i].name + ".gz",
                            compressed[i]);
    }
    CheckEqual(dup.dialog.Servers(), {"Alpha", "Compressed"}, "server selector entries");

    Step("duplicate \"Compressed\": nginx sends its first file gzip-compressed");
    const std::string tests = Join(dup.scratch, "Tests");
    ComboSelect(dup.dialog.Item(IDC_SERVER_COMBO), 1);
    FillFields(dup.dialog, dup.installation.root, tests + "\\Compressed\\");
    dup.dialog.Click(IDC_DUPLICATE);
    const std::string first = std::string(kCompressed) + "/" + kConnectionFiles[0].name;
    MessageBoxInfo box = WaitForMessageBox(dup.app, kWindowTimeoutMs);
    served.CheckDownloadPrompt(box, kCodeContentCoded, catalogue.UrlOf(first));
    served.Screenshot("nginx_compressed_prompt");
    Answer(box, IDCANCEL);
    ExpectNotice(dup.app, "Failed to download QuorvaneLauncher.url file.");
    dup.CheckDialogUsable();
    CheckRequests(catalogue, {dup.listRequest, "GET " + catalogue.PathOf(first) + " 200"});
    catalogue.CheckRequestVersions("HTTP/1.0");
    CheckEqual(Sent(catalogue),
               {SentLine(catalogue, kServerListName, "-", setup.list.size()),
                SentLine(catalogue, first, "gzip", compressed[0].size())},
               "what nginx sent");
    CheckMissing(tests, "the copy's parent");

    Step("duplicate \"Alpha\", whose files nginx serves as they are");
    catalogue.Clear();
    ComboSelect(dup.dialog.Item(IDC_SERVER_COMBO), 0);
    FillFields(dup.dialog, dup.installation.root, dup.copy);
    dup.dialog.Click(IDC_DUPLICATE);
    dup.ExpectCompletion();
    CheckRequests(catalogue, dup.fetches);
    catalogue.CheckRequestVersions("HTTP/1.0");
    CheckCopy(dup.installation, dup.copy, dup.alpha);
    CheckMissing(tests + "\\Compressed", "a copy for \"Compressed\"");
    CheckUnchanged(dup.installation);
}

}  // namespace e2e
