#include "platform/fake/FakePlatform.h"

#include <algorithm>
#include <utility>

#include "platform/MemoryStream.h"
#include "resources/resource.h"

namespace tessaloom {

namespace {

// A fetched body that reports its release and can fail on request.
class FakeStream : public MemoryStream {
public:
    FakeStream(FakePlatform& platform, std::string url, const FakeFetch& reply)
        : MemoryStream(std::vector<std::uint8_t>(reply.body.begin(), reply.body.end())),
          m_platform(platform),
          m_url(std::move(url)),
          m_reply(reply) {
        ++m_platform.liveStreams;
    }
    ~FakeStream() override {
        --m_platform.liveStreams;
        m_platform.events.push_back("release " + m_url);
    }
    bool Stat(std::uint64_t& size) override {
        if (m_reply.statFails) return false;
        MemoryStream::Stat(size);
        if (m_reply.reportedSize != ~std::uint64_t{0}) size = m_reply.reportedSize;
        return true;
    }
    bool Read(void* buffer, std::uint32_t count, std::uint32_t& read) override {
        if (m_reply.readFails) {
            read = 0;
            return false;
        }
        return MemoryStream::Read(buffer, count, read);
    }

private:
    FakePlatform& m_platform;
    std::string m_url;
    FakeFetch m_reply;
};

FakeControl* AsControl(Handle handle) { return static_cast<FakeControl*>(handle); }
FakeDialog* AsDialog(Handle handle) { return static_cast<FakeDialog*>(handle); }

}  // namespace

const Handle FakePlatform::kPaintDc = reinterpret_cast<Handle>(0xDC);

FakePlatform::FakePlatform() {
    strings[IDS_ABOUTBOX] = "&About Tessaloom...";
    strings[IDP_SOCKETS_INIT_FAILED] = "Windows sockets initialization failed.";
}

FakePlatform::~FakePlatform() = default;

Handle FakePlatform::IconHandle(unsigned id) { return reinterpret_cast<Handle>(0x10000 + id); }

void FakePlatform::SendTo(FakeDialog& dialog, const Message& message, std::intptr_t* result) {
    std::intptr_t ignored = 0;
    dialog.sink->HandleMessage(&dialog, message, result != nullptr ? *result : ignored);
}

void FakePlatform::Click(FakeDialog& dialog, int id) {
    SendTo(dialog, {kWmCommand, static_cast<std::uintptr_t>(id) | (kBnClicked << 16), 0});
}

void FakePlatform::Select(FakeDialog& dialog, int index) {
    dialog.controls[IDC_SERVER_COMBO].selection = index;
}

bool FakePlatform::SocketInit() {
    events.push_back("socket init");
    return socketInitSucceeds;
}

void FakePlatform::InitCommonControls() { ++commonControlsInitialised; }

std::string FakePlatform::AppName() { return appName; }

std::string FakePlatform::LoadStringResource(unsigned id) {
    auto found = strings.find(id);
    return found != strings.end() ? found->second : std::string();
}

Handle FakePlatform::LoadIconResource(unsigned id) { return IconHandle(id); }

void FakePlatform::PostQuit(int exitCode) {
    events.push_back("quit " + std::to_string(exitCode));
    quitPosted = true;
}

int FakePlatform::ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                                 unsigned helpContext) {
    boxes.push_back({text, title, style, helpContext});
    events.push_back("box " + text);
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (style & 0xF) == kMbRetryCancel ? kIdCancel : kIdOk;
}

std::intptr_t FakePlatform::RunModalDialog(unsigned templateId, Handle parent, DialogSink& sink) {
    dialogsRun.push_back(templateId);
    events.push_back("dialog " + std::to_string(templateId));
    m_dialogs.push_back(std::make_unique<FakeDialog>());
    FakeDialog& dialog = *m_dialogs.back();
    dialog.templateId = templateId;
    dialog.parent = parent;
    dialog.sink = &sink;
    static const int kMainControls[] = {IDC_DUPLICATE,   kIdCancel,     IDC_BROWSE_SOURCE,
                                        IDC_BROWSE_DEST, IDC_DEST_EDIT, IDC_SOURCE_EDIT,
                                        IDC_SERVER_COMBO};
    if (templateId == IDD_TESSALOOM_DIALOG) {
        for (int id : kMainControls) {
            if (missingControls.count(id) == 0) dialog.controls[id];
        }
    } else {
        dialog.controls[kIdOk];
    }

    SendTo(dialog, {kWmInitDialog, 0, 0});
    if (user && !dialog.ended) user(*this, dialog);
    if (!dialog.ended && !quitPosted) Click(dialog, kIdCancel);
    std::intptr_t result = dialog.result;
    m_dialogs.pop_back();
    return result;
}

void FakePlatform::EndModal(Handle dialog, std::intptr_t result) {
    AsDialog(dialog)->ended = true;
    AsDialog(dialog)->result = result;
}

void FakePlatform::Center(Handle window, Handle over) { centred.emplace_back(window, over); }

Handle FakePlatform::DialogItem(Handle dialog, int id) {
    auto& controls = AsDialog(dialog)->controls;
    auto found = controls.find(id);
    return found != controls.end() ? &found->second : nullptr;
}

std::string FakePlatform::GetText(Handle window) { return AsControl(window)->text; }

void FakePlatform::SetText(Handle window, const std::string& text) {
    AsControl(window)->text = text;
}

std::intptr_t FakePlatform::Send(Handle, const Message& message) {
    sent.push_back(message);
    return 0;
}

int FakePlatform::ComboAddString(Handle combo, const std::string& text) {
    AsControl(combo)->items.push_back(text);
    return static_cast<int>(AsControl(combo)->items.size()) - 1;
}

int FakePlatform::ComboGetCount(Handle combo) {
    return static_cast<int>(AsControl(combo)->items.size());
}

int FakePlatform::ComboGetCurSel(Handle combo) { return AsControl(combo)->selection; }

void FakePlatform::ComboSetCurSel(Handle combo, int index) {
    // Like the real control: an index past the entries selects nothing.
    FakeControl* control = AsControl(combo);
    control->selection =
        index >= 0 && static_cast<std::size_t>(index) < control->items.size() ? index : -1;
}

std::string FakePlatform::ComboGetText(Handle combo, int index) {
    return AsControl(combo)->items.at(static_cast<std::size_t>(index));
}

Handle FakePlatform::SystemMenu(Handle) {
    return hasSystemMenu ? reinterpret_cast<Handle>(&menu) : nullptr;
}

void FakePlatform::AppendMenuSeparator(Handle) { menu.push_back({true, 0, ""}); }

void FakePlatform::AppendMenuItem(Handle, unsigned commandId, const std::string& text) {
    menu.push_back({false, commandId, text});
}

void FakePlatform::SetWindowIcon(Handle, Handle icon, bool big) {
    icons[big] = icon;
    events.push_back(big ? "icon big" : "icon small");
}

bool FakePlatform::IsMinimized(Handle) { return minimized; }

int FakePlatform::SystemMetric(int index) {
    if (index == kSmCxIcon) return iconWidth;
    if (index == kSmCyIcon) return iconHeight;
    return 0;
}

Rect FakePlatform::ClientRect(Handle) { return client; }

Handle FakePlatform::StartPaint(Handle) {
    ++paintsStarted;
    return kPaintDc;
}

void FakePlatform::FinishPaint(Handle) { ++paintsFinished; }

void FakePlatform::PaintIcon(Handle dc, int x, int y, Handle icon) {
    painted.push_back({x, y, icon, dc});
}

ResultCode FakePlatform::FetchUrl(const std::string& url, StreamPtr& stream) {
    fetchedUrls.push_back(url);
    events.push_back("fetch " + url);
    auto found = replies.find(url);
    if (found == replies.end() || found->second.empty()) return kResultDownloadFailure;
    FakeFetch reply = found->second.front();
    if (found->second.size() > 1) found->second.pop_front();
    if (reply.code == kResultOk) stream = std::make_unique<FakeStream>(*this, url, reply);
    return reply.code;
}

BrowseResult FakePlatform::BrowseForFolder(const std::string& title, std::string& path) {
    browseTitles.push_back(title);
    events.push_back("browse " + title);
    if (browseReplies.empty()) return BrowseResult::kCancelled;
    auto reply = browseReplies.front();
    browseReplies.pop_front();
    path = reply.second;
    return reply.first;
}

CopyResult FakePlatform::CopyFolder(Handle, const std::string& source,
                                    const std::string& destination) {
    events.push_back("copy " + source + " -> " + destination);
    return copyResult;
}

void FakePlatform::OpenFolder(const std::string& path) { events.push_back("open " + path); }

bool FakePlatform::ProbeFile(const std::string& path) {
    events.push_back("probe " + path);
    return existingFiles.count(path) != 0;
}

bool FakePlatform::WriteWholeFile(const std::string& path, const void* data, std::size_t size,
                                  std::string& error) {
    events.push_back("write " + path);
    auto failure = writeFailures.find(path);
    if (failure != writeFailures.end()) {
        error = failure->second;
        return false;
    }
    std::string& bytes = writtenFiles[path];
    bytes.clear();
    if (size > 0) bytes.assign(static_cast<const char*>(data), size);
    return true;
}

}  // namespace tessaloom
