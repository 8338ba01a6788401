// Checks the resources compiled into Tessaloom.exe: version information, string table, dialog
// templates, the application icon and the manifest. Each resource is extracted with wrestool
// (icoutils) and decoded here. Prints one line per check; exits non-zero if any check fails.
//
// Usage: resource_check [--wrestool PATH] Tessaloom.exe
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "resources/resource.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kTypeIcon = 3;
constexpr int kTypeDialog = 5;
constexpr int kTypeString = 6;
constexpr int kTypeGroupIcon = 14;
constexpr int kTypeVersion = 16;
constexpr int kTypeManifest = 24;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// ---------------------------------------------------------------------------------------------
// Results

class Results {
public:
    void Check(bool ok, const std::string& what, const std::string& detail = {}) {
        std::cout << (ok ? "ok   " : "FAIL ") << what;
        if (!ok && !detail.empty()) std::cout << ": " << detail;
        std::cout << "\n";
        if (!ok) ++failures_;
    }

    void Equal(const std::string& what, const std::string& actual, const std::string& expected) {
        Check(actual == expected, what + " is \"" + expected + "\"", "got \"" + actual + "\"");
    }

    int failures() const { return failures_; }

private:
    int failures_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Extraction

std::string ShellQuote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class Extractor {
public:
    Extractor(std::string wrestool, std::string exe)
        : wrestool_(std::move(wrestool)), exe_(std::move(exe)) {}

    // Raw data of resource type/name (all languages); empty when absent.
    Bytes Get(int type, int name) const {
        const std::string command = ShellQuote(wrestool_) +
                                    " -x --raw --type=" + std::to_string(type) +
                                    " --name=" + std::to_string(name) + " " + ShellQuote(exe_);
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) throw std::runtime_error("cannot run " + wrestool_ + " (icoutils)");
        Bytes data;
        std::uint8_t buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            data.insert(data.end(), buffer, buffer + n);
        }
        const int status = pclose(pipe);
        if (status != 0) {
            throw std::runtime_error("\"" + command + "\" failed (status " +
                                     std::to_string(status) + "; is icoutils installed?)");
        }
        return data;
    }

private:
    std::string wrestool_;
    std::string exe_;
};

// ---------------------------------------------------------------------------------------------
// Binary reading

class Reader {
public:
    explicit Reader(const Bytes& data, std::size_t pos = 0) : data_(data), pos_(pos) {}

    std::size_t pos() const { return pos_; }
    void Seek(std::size_t pos) { pos_ = pos; }
    void AlignTo4() { pos_ = (pos_ + 3) & ~std::size_t{3}; }

    std::uint8_t U8() {
        Need(1);
        return data_[pos_++];
    }
    std::uint16_t U16() {
        Need(2);
        const std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::uint32_t U32() {
        const std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    void Skip(std::size_t n) {
        Need(n);
        pos_ += n;
    }

    // UTF-16LE code units up to (and past) a terminating zero, as UTF-8.
    std::string String() {
        std::u16string units;
        for (std::uint16_t u = U16(); u != 0; u = U16()) units += static_cast<char16_t>(u);
        return ToUtf8(units);
    }

    // `count` UTF-16LE code units, as UTF-8.
    std::string Units(std::size_t count) {
        std::u16string units;
        for (std::size_t i = 0; i < count; ++i) units += static_cast<char16_t>(U16());
        return ToUtf8(units);
    }

    // A dialog "name or ordinal" field: 0 (none), 0xFFFF + ordinal, or a string.
    std::string NameOrOrdinal() {
        const std::uint16_t first = U16();
        if (first == 0) return {};
        if (first == 0xFFFF) return "#" + std::to_string(U16());
        pos_ -= 2;
        return String();
    }

    static std::string ToUtf8(const std::u16string& units) {
        std::string out;
        for (std::size_t i = 0; i < units.size(); ++i) {
            std::uint32_t c = units[i];
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                units[i + 1] < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
            }
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x800) {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                out += static_cast<char>(0xE0 | (c >> 12));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (c >> 18));
                out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return out;
    }

private:
    void Need(std::size_t n) const {
        if (pos_ + n > data_.size()) throw std::runtime_error("resource data is truncated");
    }

    const Bytes& data_;
    std::size_t pos_;
};

// ---------------------------------------------------------------------------------------------
// Version information

struct VersionNode {
    std::string key;
    std::uint16_t type = 0;  // 1: text value, 0: binary value
    Bytes value;             // binary value
    std::string text;        // text value
    std::vector<VersionNode> children;

    const VersionNode* Child(const std::string& name) const {
        for (const VersionNode& c : children) {
            if (c.key == name) return &c;
        }
        return nullptr;
    }
};

VersionNode ParseVersionNode(const Bytes& data, std::size_t start, std::size_t limit) {
    Reader r(data, start);
    const std::size_t length = r.U16();
    const std::size_t valueLength = r.U16();
    VersionNode node;
    node.type = r.U16();
    const std::size_t end = start + length;
    if (length < 6 || end > limit) throw std::runtime_error("version block length out of range");
    node.key = r.String();
    r.AlignTo4();
    if (node.type == 1 && valueLength > 0) {
        // A string value; read to its terminator within the block, as value lengths vary by
        // resource compiler. String values have no children.
        std::u16string units;
        while (r.pos() + 2 <= end) {
            const std::uint16_t u = r.U16();
            if (u == 0) break;
            units += static_cast<char16_t>(u);
        }
        node.text = Reader::ToUtf8(units);
        return node;
    }
    if (valueLength > 0) {
        if (r.pos() + valueLength > end)
            throw std::runtime_error("version value overruns its block");
        node.value.assign(data.begin() + static_cast<std::ptrdiff_t>(r.pos()),
                          data.begin() + static_cast<std::ptrdiff_t>(r.pos() + valueLength));
        r.Skip(valueLength);
        r.AlignTo4();
    }
    while (r.pos() + 6 <= end) {
        const std::size_t childLength = Reader(data, r.pos()).U16();
        node.children.push_back(ParseVersionNode(data, r.pos(), end));
        r.Seek(r.pos() + childLength);
        r.AlignTo4();
    }
    return node;
}

std::string DottedVersion(std::uint32_t ms, std::uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

void CheckVersion(const Extractor& ex, Results& results) {
    const Bytes data = ex.Get(kTypeVersion, 1);
    results.Check(!data.empty(), "version resource 1 is present");
    if (data.empty()) return;
    const VersionNode root = ParseVersionNode(data, 0, data.size());
    results.Equal("version root key", root.key, "VS_VERSION_INFO");

    Reader fixed(root.value);
    const bool haveFixed = root.value.size() >= 52 && fixed.U32() == 0xFEEF04BD;
    results.Check(haveFixed, "fixed file information is present");
    if (haveFixed) {
        fixed.U32();  // structure version
        const std::uint32_t fileMs = fixed.U32(), fileLs = fixed.U32();
        const std::uint32_t productMs = fixed.U32(), productLs = fixed.U32();
        results.Equal("fixed file version", DottedVersion(fileMs, fileLs), "1.0.0.1");
        results.Equal("fixed product version", DottedVersion(productMs, productLs), "1.0.0.1");
    }

    const VersionNode* stringInfo = root.Child("StringFileInfo");
    const VersionNode* table = stringInfo ? stringInfo->Child("040904b0") : nullptr;
    results.Check(table != nullptr, "StringFileInfo has block \"040904b0\"");
    if (table) {
        const std::map<std::string, std::string> expected = {
            {"Comments", "Duplicates Quorvane for testing purpose"},
            {"FileDescription", "Tessaloom - Duplicates Quorvane for testing purpose"},
            {"FileVersion", "1, 0, 0, 3"},
            {"InternalName", "Tessaloom"},
            {"OriginalFilename", "Tessaloom.EXE"},
            {"ProductName", "Tessaloom Application"},
            {"ProductVersion", "1, 0, 0, 3"},
        };
        for (const auto& [key, value] : expected) {
            const VersionNode* entry = table->Child(key);
            results.Equal("version string " + key, entry ? entry->text : "(missing)", value);
        }
    }

    // The translation list must name the language/code page of the string block.
    const VersionNode* varInfo = root.Child("VarFileInfo");
    const VersionNode* translation = varInfo ? varInfo->Child("Translation") : nullptr;
    bool listed = false;
    if (translation) {
        Reader t(translation->value);
        for (std::size_t i = 0; i + 4 <= translation->value.size(); i += 4) {
            const std::uint16_t language = t.U16(), codePage = t.U16();
            listed = listed || (language == 0x0409 && codePage == 0x04B0);
        }
    }
    results.Check(listed, "VarFileInfo Translation lists 0x0409, 1200");
}

// ---------------------------------------------------------------------------------------------
// String table

void CheckStrings(const Extractor& ex, Results& results) {
    const std::map<int, std::string> expected = {
        {IDS_ABOUTBOX, "&About Tessaloom..."},
        {IDP_SOCKETS_INIT_FAILED, "Windows sockets initialization failed."},
    };
    for (const auto& [id, text] : expected) {
        const std::string what = "string " + std::to_string(id);
        const Bytes block = ex.Get(kTypeString, id / 16 + 1);  // 16 strings per block
        if (block.empty()) {
            results.Check(false, what + " is present",
                          "no string block " + std::to_string(id / 16 + 1));
            continue;
        }
        Reader r(block);
        for (int i = 0; i < id % 16; ++i) r.Skip(2 * std::size_t{r.U16()});
        results.Equal(what, r.Units(r.U16()), text);
    }
}

// ---------------------------------------------------------------------------------------------
// Dialogs

struct Dialog {
    std::string caption;
    std::set<int> controlIds;
    std::vector<std::string> rectangles;  // "x,y,cx,cy" of each control, in template order
};

Dialog ParseDialog(const Bytes& data) {
    Reader r(data);
    const bool extended =
        data.size() >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
    std::uint32_t style = 0;
    if (extended) {
        r.Skip(4);  // version, signature
        r.U32();    // help id
        r.U32();    // extended style
        style = r.U32();
    } else {
        style = r.U32();
        r.U32();  // extended style
    }
    const int count = r.U16();
    r.Skip(8);  // x, y, cx, cy
    Dialog dialog;
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    dialog.caption = r.String();
    constexpr std::uint32_t kDsSetFont = 0x40;
    if (style & kDsSetFont) {
        r.U16();                  // point size
        if (extended) r.Skip(4);  // weight, italic, charset
        r.String();               // typeface
    }
    for (int i = 0; i < count; ++i) {
        r.AlignTo4();
        int id;
        r.Skip(extended ? 12 : 8);  // (help id,) style and extended style
        std::string rectangle;
        for (int k = 0; k < 4; ++k) {
            rectangle += (k ? "," : "") + std::to_string(static_cast<std::int16_t>(r.U16()));
        }
        dialog.rectangles.push_back(rectangle);
        id = extended ? static_cast<std::int32_t>(r.U32()) : static_cast<std::int16_t>(r.U16());
        r.NameOrOrdinal();                                       // class
        r.NameOrOrdinal();                                       // title
        const std::size_t extra = r.U16();                       // creation data
        r.Skip(extended ? extra : (extra > 2 ? extra - 2 : 0));  // the classic size counts itself
        dialog.controlIds.insert(id);
    }
    return dialog;
}

void CheckDialog(const Extractor& ex, Results& results, int id, const std::string& caption,
                 const std::map<int, std::string>& controls) {
    const std::string what = "dialog " + std::to_string(id);
    const Bytes data = ex.Get(kTypeDialog, id);
    results.Check(!data.empty(), what + " is present");
    if (data.empty()) return;
    const Dialog dialog = ParseDialog(data);
    results.Equal(what + " caption", dialog.caption, caption);
    for (const auto& [controlId, name] : controls) {
        results.Check(dialog.controlIds.count(controlId) == 1,
                      what + " has control " + name + " (" + std::to_string(controlId) + ")");
    }
}

void CheckDialogs(const Extractor& ex, Results& results) {
    CheckDialog(ex, results, IDD_TESSALOOM_DIALOG, "Tessaloom V2.1",
                {{IDC_BROWSE_SOURCE, "IDC_BROWSE_SOURCE"},
                 {IDC_BROWSE_DEST, "IDC_BROWSE_DEST"},
                 {IDC_DEST_EDIT, "IDC_DEST_EDIT"},
                 {IDC_SOURCE_EDIT, "IDC_SOURCE_EDIT"},
                 {IDC_DUPLICATE, "IDC_DUPLICATE"},
                 {IDC_SERVER_COMBO, "IDC_SERVER_COMBO"},
                 {kIdCancel, "IDCANCEL"}});
    CheckDialog(ex, results, IDD_ABOUTBOX, "About Tessaloom", {{kIdOk, "IDOK"}});
    // The icon control keeps the size its template gives it.
    const Bytes about = ex.Get(kTypeDialog, IDD_ABOUTBOX);
    if (!about.empty()) {
        const Dialog dialog = ParseDialog(about);
        results.Equal("dialog 100 icon control rectangle",
                      dialog.rectangles.empty() ? std::string() : dialog.rectangles[0],
                      std::string("11,17,20,20"));
    }
}

// ---------------------------------------------------------------------------------------------
// Icon

// Describes the image data of one icon as "WxH B-bit" (PNG images: 8-bit RGBA is 32-bit).
std::string DescribeIconImage(const Bytes& image) {
    if (image.size() >= 26 && image[0] == 0x89 && image[1] == 'P' && image[2] == 'N' &&
        image[3] == 'G') {
        auto bigEndian = [&](std::size_t at) {
            return (std::uint32_t{image[at]} << 24) | (std::uint32_t{image[at + 1]} << 16) |
                   (std::uint32_t{image[at + 2]} << 8) | image[at + 3];
        };
        const int depth = image[24], colourType = image[25];
        const std::string bits =
            colourType == 6 && depth == 8 ? "32" : "colour type " + std::to_string(colourType);
        return std::to_string(bigEndian(16)) + "x" + std::to_string(bigEndian(20)) + " " + bits +
               "-bit";
    }
    Reader r(image);
    if (image.size() < 40 || r.U32() != 40) return "not an icon image";
    const std::int32_t width = static_cast<std::int32_t>(r.U32());
    const std::int32_t height = static_cast<std::int32_t>(r.U32()) / 2;  // colour + mask
    r.U16();                                                             // planes
    return std::to_string(width) + "x" + std::to_string(height) + " " + std::to_string(r.U16()) +
           "-bit";
}

void CheckIcon(const Extractor& ex, Results& results) {
    const Bytes group = ex.Get(kTypeGroupIcon, IDR_MAINFRAME);
    results.Check(!group.empty(), "icon group " + std::to_string(IDR_MAINFRAME) + " is present");
    if (group.empty()) return;
    Reader r(group);
    r.U16();  // reserved
    results.Check(r.U16() == 1, "icon group has type 1 (icon)");
    const int count = r.U16();
    std::set<std::string> found;
    std::string list;
    for (int i = 0; i < count; ++i) {
        const int rawWidth = r.U8(), rawHeight = r.U8();  // 0 means 256
        const int width = rawWidth == 0 ? 256 : rawWidth;
        const int height = rawHeight == 0 ? 256 : rawHeight;
        r.Skip(2);  // colour count, reserved
        r.U16();    // planes
        const int bits = r.U16();
        const std::uint32_t bytes = r.U32();
        const int iconId = r.U16();
        const std::string entry = std::to_string(width) + "x" + std::to_string(height) + " " +
                                  std::to_string(bits) + "-bit";
        list += (list.empty() ? "" : ", ") + entry;

        // The entry must point at an icon image of the size and depth it announces.
        const Bytes image = ex.Get(kTypeIcon, iconId);
        const std::string described = DescribeIconImage(image);
        results.Check(described == entry && image.size() == bytes,
                      "icon entry " + entry + " matches icon image " + std::to_string(iconId),
                      "image is " + described + ", " + std::to_string(image.size()) +
                          " bytes; entry says " + std::to_string(bytes) + " bytes");
        found.insert(entry);
    }
    std::cout << "     icon group entries: " << list << "\n";
    for (const char* required :
         {"32x32 4-bit", "16x16 32-bit", "32x32 32-bit", "48x48 32-bit", "256x256 32-bit"}) {
        results.Check(found.count(required) == 1, std::string("icon group has ") + required);
    }
}

// ---------------------------------------------------------------------------------------------
// Manifest

// The text of the first element named `name` that contains `needle`, or "" if none does.
std::string ElementContaining(const std::string& xml, const std::string& name,
                              const std::string& needle) {
    for (std::size_t at = xml.find("<" + name); at != std::string::npos;
         at = xml.find("<" + name, at + 1)) {
        const std::size_t close = xml.find("</" + name, at);
        const std::size_t end = close == std::string::npos ? xml.find('>', at) : close;
        if (end == std::string::npos) break;
        const std::string element = xml.substr(at, end - at);
        if (element.find(needle) != std::string::npos) return element;
    }
    return {};
}

void CheckManifest(const Extractor& ex, Results& results) {
    const Bytes data = ex.Get(kTypeManifest, 1);
    results.Check(!data.empty(), "manifest resource 1 is present");
    if (data.empty()) return;
    std::string xml(data.begin(), data.end());
    if (xml.compare(0, 3, "\xEF\xBB\xBF") == 0) xml.erase(0, 3);
    results.Check(xml.compare(0, 5, "<?xml") == 0, "manifest starts with an XML declaration");
    results.Check(xml.find("</assembly>") != std::string::npos, "manifest closes its assembly");

    const std::string controls =
        ElementContaining(xml, "assemblyIdentity", "\"Microsoft.Windows.Common-Controls\"");
    results.Check(controls.find("version=\"6.0.0.0\"") != std::string::npos &&
                      controls.find("publicKeyToken=\"6595b64144ccf1df\"") != std::string::npos,
                  "manifest depends on Common-Controls 6.0.0.0");
    results.Check(!ElementContaining(xml, "dpiAwareness", "PerMonitorV2").empty(),
                  "manifest declares PerMonitorV2 DPI awareness");
    results.Check(!ElementContaining(xml, "requestedExecutionLevel", "\"asInvoker\"").empty(),
                  "manifest requests asInvoker");
}

}  // namespace

int main(int argc, char** argv) {
    std::string wrestool = "wrestool";
    std::string exe;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--wrestool" && i + 1 < argc) {
            wrestool = argv[++i];
        } else if (exe.empty() && !arg.empty() && arg[0] != '-') {
            exe = arg;
        } else {
            exe.clear();
            break;
        }
    }
    if (exe.empty()) {
        std::cerr << "usage: resource_check [--wrestool PATH] Tessaloom.exe\n";
        return 2;
    }

    std::ifstream file(exe, std::ios::binary);
    char magic[2] = {};
    if (!file || !file.read(magic, 2)) {
        std::cout << "FAIL Tessaloom.exe not found at " << exe
                  << " (build the Windows program first)\n";
        return 1;
    }
    if (magic[0] != 'M' || magic[1] != 'Z') {
        std::cout << "FAIL " << exe << " is not a Windows executable\n";
        return 1;
    }

    const Extractor ex(wrestool, exe);
    Results results;
    const std::pair<const char*, void (*)(const Extractor&, Results&)> sections[] = {
        {"version information", CheckVersion},
        {"string table", CheckStrings},
        {"dialogs", CheckDialogs},
        {"icon", CheckIcon},
        {"manifest", CheckManifest},
    };
    for (const auto& [name, check] : sections) {
        try {
            check(ex, results);
        } catch (const std::exception& e) {
            results.Check(false, std::string(name) + " can be read", e.what());
        }
    }
    std::cout << (results.failures() == 0 ? "all resource checks passed"
                                          : std::to_string(results.failures()) + " check(s) failed")
              << "\n";
    return results.failures() == 0 ? 0 : 1;
}
