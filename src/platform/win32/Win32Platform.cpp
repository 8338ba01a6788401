#include "platform/win32/Win32Platform.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "paths/Paths.h"
#include "platform/MemoryStream.h"
#include "platform/win32/Folders.h"
#include "platform/win32/ScopedHandles.h"
#include "platform/win32/Text.h"

namespace tessaloom {

namespace {

// Fetch failures, in the form the URL moniker reports them.
constexpr ResultCode kResultInvalidUrl = 0x800C0002u;
constexpr ResultCode kResultNotFound = 0x800C0005u;  // host name not resolved
constexpr ResultCode kResultUnknownProtocol = 0x800C000Du;
constexpr ResultCode kResultInvalidCertificate = 0x800C0019u;
constexpr ResultCode kResultOutOfMemory = 0x8007000Eu;

// A fetch fails when nothing arrives for this long while connecting, waiting for the headers
// or reading the body. The end-to-end tests build the program with a shorter one.
#ifndef TESSALOOM_FETCH_TIMEOUT_SECONDS
#error "TESSALOOM_FETCH_TIMEOUT_SECONDS must be defined by the build"
#endif
constexpr DWORD kFetchTimeoutMs = TESSALOOM_FETCH_TIMEOUT_SECONDS * 1000;
constexpr int kMaxRedirects = 5;  // followed per fetch

HWND AsWindow(Handle handle) { return static_cast<HWND>(handle); }

// The system's text for an error code in the user's language, without the trailing line break
// and full stop.
std::string SystemMessage(DWORD code) {
    wchar_t buffer[1024];
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       buffer, static_cast<DWORD>(sizeof buffer / sizeof buffer[0]), nullptr);
    std::string text = Utf8FromUtf16(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '\t')) {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (text.empty()) text = "Error " + std::to_string(code);
    return text;
}

ResultCode FetchError(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return kResultNotFound;
        case ERROR_INTERNET_INVALID_URL:
            return kResultInvalidUrl;
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
            return kResultUnknownProtocol;
        case ERROR_INTERNET_OPERATION_CANCELLED:
            return kResultAborted;
        case ERROR_INTERNET_TIMEOUT:
        case WSAETIMEDOUT:  // Wine's, for a body that stops coming
            return kResultTimeout;
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
            return kResultInvalidCertificate;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return kResultOutOfMemory;
        default:  // cannot connect, reset, invalid response...
            return kResultDownloadFailure;
    }
}

ResultCode FetchErrorFromLastError() { return FetchError(GetLastError()); }

// Text in the code page `codePage` in UTF-16; what the code page does not define becomes its
// default character.
std::wstring Utf16FromCodePage(const std::string& text, UINT codePage) {
    if (text.empty() || text.size() > INT_MAX) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

// `folder` in UTF-16 with a final separator, which a share's root needs ("\\host\share\").
std::wstring WithSeparator(const std::string& folder) {
    std::wstring wide = SystemPath(folder);
    if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/') wide.push_back(L'\\');
    return wide;
}

// One GET: its connection to the server and its request.
struct Exchange {
    ScopedInternet connection;
    ScopedInternet request;
    bool unfinished = false;  // the request is still being sent or its body was not all read
};

// What the thread that sends a request shares with the fetch waiting for it.
struct Sending {
    ScopedHandle connected{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    ScopedHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    BOOL sent = FALSE;
    DWORD error = ERROR_SUCCESS;
};

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    if (status == INTERNET_STATUS_CONNECTED_TO_SERVER && context != 0) {
        SetEvent(reinterpret_cast<Sending*>(context)->connected.get());
    }
}

// A server that stops answering fails the fetch instead of freezing the program. Set on each
// handle before the request is sent: a request takes them from its connection when opened,
// and Wine's connection does not take the send and receive ones from the session.
void SetFetchTimeouts(HINTERNET handle) {
    DWORD timeout = kFetchTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(handle, option, &timeout, static_cast<DWORD>(sizeof timeout));
    }
}

bool IsHttps(const std::string& url) { return _strnicmp(url.c_str(), "https:", 6) == 0; }

// Connects to the server of `url` (http:// or https://) and sends a GET for it; on success
// the response's headers have arrived.
ResultCode SendRequest(HINTERNET session, const std::string& url, Exchange& exchange) {
    const std::wstring wideUrl = Utf16FromUtf8(url);
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;  // non-zero: point into `wideUrl`
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(wideUrl.c_str(), 0, 0, &parts)) return FetchErrorFromLastError();
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        return kResultUnknownProtocol;
    }
    if (parts.dwHostNameLength == 0) return kResultInvalidUrl;
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const INTERNET_PORT port =
        parts.nPort != 0 ? parts.nPort
                         : (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);  // the query
    if (object.empty()) object = L"/";

    exchange.connection.reset(InternetConnectW(session, host.c_str(), port, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!exchange.connection.valid()) return FetchErrorFromLastError();
    SetFetchTimeouts(exchange.connection.get());

    // HTTP/1.0: the answer cannot come chunked, so its Content-Length (or the end of the
    // connection) tells a whole body from a cut one. WinINet ends a cut chunked body as if
    // it were whole. Never from or into a cache, no cookies, no windows, redirects followed
    // by the caller.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT |
                        (secure ? INTERNET_FLAG_SECURE : 0);
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    const auto sending = std::make_shared<Sending>();
    exchange.request.reset(HttpOpenRequestW(exchange.connection.get(), L"GET", object.c_str(),
                                            L"HTTP/1.0", nullptr, acceptTypes, flags,
                                            reinterpret_cast<DWORD_PTR>(sending.get())));
    if (!exchange.request.valid()) return FetchErrorFromLastError();
    const HINTERNET request = exchange.request.get();
    SetFetchTimeouts(request);

    // Wine's WinINet ignores the connect timeout, and an attempt the server never answers
    // lasts minutes: the request is sent on a thread of its own, and a connection not made in
    // time fails the fetch. The thread then finishes on its own, the request left to it.
    const ULONGLONG start = GetTickCount64();
    const auto send = [sending, request] {
        sending->sent = HttpSendRequestW(request, nullptr, 0, nullptr, 0);
        sending->error = GetLastError();
        SetEvent(sending->done.get());
    };
    bool threaded = sending->connected.valid() && sending->done.valid();
    if (threaded) {
        InternetSetStatusCallbackW(request, OnRequestStatus);
        try {
            std::thread(send).detach();
        } catch (const std::system_error&) {
            threaded = false;
        }
    }
    if (threaded) {
        const HANDLE events[] = {sending->done.get(), sending->connected.get()};
        if (WaitForMultipleObjects(2, events, FALSE, kFetchTimeoutMs) == WAIT_TIMEOUT) {
            exchange.unfinished = true;
            return kResultTimeout;
        }
        // Connected: the send and receive timeouts bound the rest.
        WaitForSingleObject(sending->done.get(), INFINITE);
    } else {
        send();
    }
    InternetSetStatusCallbackW(request, nullptr);
    if (sending->sent) return kResultOk;
    const DWORD error = sending->error;
    // Wine reports a wait for the headers that ran out as an aborted connection.
    if (error == ERROR_INTERNET_CONNECTION_ABORTED && GetTickCount64() - start >= kFetchTimeoutMs) {
        return kResultTimeout;
    }
    return FetchError(error);
}

// The response's status code; 0 when there is none (a connection closed before any answer).
DWORD StatusOf(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        return 0;
    }
    return status;
}

// A response header's value, as the bytes the server sent; false when it is missing.
bool QueryHeader(HINTERNET request, DWORD header, std::string& value) {
    std::wstring wide(256, L'\0');
    for (;;) {
        // In bytes, both ways.
        DWORD size = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(request, header, &wide[0], &size, nullptr)) {
            wide.resize(size / sizeof(wchar_t));
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || wide.size() >= 65536) return false;
        wide.assign(std::max<std::size_t>(size / sizeof(wchar_t) + 1, wide.size() * 2), L'\0');
    }
    // The wide function gives each byte of the header as the character of that value
    // (ISO-8859-1): back to the bytes. A character beyond (a system that decoded the header in
    // another code page) is kept as UTF-8.
    value.clear();
    for (wchar_t c : wide) {
        if (c < 0x100) {
            value.push_back(static_cast<char>(c));
        } else {
            value += Utf8FromUtf16(&c, 1);
        }
    }
    return true;
}

// Where a redirect leads: its Location resolved against `from`. False when the response is
// no redirect (or one without a Location, which is then just its status).
bool RedirectTarget(HINTERNET request, DWORD status, const std::string& from, std::string& to) {
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) {
        return false;
    }
    std::string location;
    if (!QueryHeader(request, HTTP_QUERY_LOCATION, location) || location.empty()) return false;
    wchar_t combined[INTERNET_MAX_URL_LENGTH];
    DWORD length = static_cast<DWORD>(sizeof combined / sizeof combined[0]);  // in characters
    if (!InternetCombineUrlW(Utf16FromUtf8(from).c_str(), Utf16FromUtf8(location).c_str(), combined,
                             &length, ICU_NO_ENCODE)) {
        to = location;  // the request fails on it as on any bad URL
    } else {
        to = Utf8FromUtf16(combined, length);
    }
    return true;
}

// The announced Content-Length; false when there is none (or it is not a number).
bool QueryContentLength(HINTERNET request, std::uint64_t& length) {
    std::string text;
    if (!QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, text)) return false;
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) return false;
    length = 0;
    for (std::size_t i = begin; i <= end; ++i) {
        char c = text[i];
        if (c < '0' || c > '9' || length > (UINT64_MAX - 9) / 10) return false;
        length = length * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// Reads the body of a 2xx response within `limit`, never holding more of it than the limit.
// `unread` tells whether the response may hold more than was read.
ResultCode ReadBody(HINTERNET request, const FetchLimit& limit, StreamPtr& stream, bool& unread) {
    // Nothing tells a whole transfer-coded body from a cut one, and no server may send one
    // to an HTTP/1.0 request: refused rather than trusted.
    std::string coding;
    if (QueryHeader(request, HTTP_QUERY_TRANSFER_ENCODING, coding)) {
        unread = true;
        return kResultDownloadFailure;
    }

    std::uint64_t announced = 0;
    const bool hasLength = QueryContentLength(request, announced);
    unread = hasLength && announced > limit.maxBytes;
    if (unread && !limit.prefixOnly) return kResultTooLarge;
    std::vector<std::uint8_t> body;
    if (hasLength) body.reserve(static_cast<std::size_t>(std::min(announced, limit.maxBytes)));
    std::uint8_t buffer[16384];
    for (;;) {
        const std::uint64_t room = limit.maxBytes - body.size();
        if (room == 0 && limit.prefixOnly) break;  // the rest is not read
        // With no room left, one more byte tells a body longer than the limit.
        const DWORD wanted = static_cast<DWORD>(
            std::min<std::uint64_t>(sizeof buffer, std::max<std::uint64_t>(room, 1)));
        DWORD read = 0;
        if (!InternetReadFile(request, buffer, wanted, &read)) {
            unread = false;  // the connection is gone
            return FetchErrorFromLastError();
        }
        if (read == 0) break;
        if (read > room) {
            unread = true;  // and maybe endless
            return kResultTooLarge;
        }
        body.insert(body.end(), buffer, buffer + read);
    }
    // WinINet ends a body cut short of its Content-Length as if it were whole.
    if (hasLength && body.size() < std::min(announced, limit.maxBytes)) {
        return kResultDownloadFailure;
    }
    stream.reset(new MemoryStream(std::move(body)));
    return kResultOk;
}

}  // namespace

// What the dialog procedure needs of a dialog run by RunModalDialog.
struct Win32Platform::DialogContext {
    Win32Platform* platform;
    DialogSink* sink;
    HWND window;
};

Win32Platform::Win32Platform(HINSTANCE instance) : m_instance(instance) {
    m_comInitialized = SUCCEEDED(OleInitialize(nullptr));
}

Win32Platform::~Win32Platform() {
    while (m_socketStartups > 0) {
        WSACleanup();
        --m_socketStartups;
    }
    if (m_comInitialized) OleUninitialize();
}

// --- Application ------------------------------------------------------------------------

bool Win32Platform::SocketInit() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    ++m_socketStartups;
    return true;
}

void Win32Platform::InitCommonControls() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
}

std::string Win32Platform::AppName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        // A path cut to fit the buffer comes back as long as the buffer.
        const DWORD length =
            GetModuleFileNameW(m_instance, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return std::string();
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/:");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return Utf8FromUtf16(name);
}

std::string Win32Platform::LoadStringResource(unsigned id) {
    // With no buffer size, the system gives a pointer to the string in the resource itself
    // and its length; the string is not terminated there.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(m_instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return std::string();
    return Utf8FromUtf16(text, static_cast<std::size_t>(length));
}

Handle Win32Platform::LoadIconResource(unsigned id) {
    return LoadIconW(m_instance, MAKEINTRESOURCEW(id));
}

void Win32Platform::PostQuit(int exitCode) { PostQuitMessage(exitCode); }

// --- Message boxes ----------------------------------------------------------------------

int Win32Platform::ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                                  unsigned helpContext) {
    const std::wstring wideText = Utf16FromUtf8(text);
    const std::wstring wideTitle = Utf16FromUtf8(title);
    MSGBOXPARAMSW params = {};
    params.cbSize = sizeof params;
    params.hwndOwner = m_modalDialogs.empty() ? nullptr : m_modalDialogs.back();
    params.hInstance = m_instance;
    params.lpszText = wideText.c_str();
    params.lpszCaption = wideTitle.c_str();
    params.dwStyle = style;
    params.dwContextHelpId = helpContext;
    return MessageBoxIndirectW(&params);
}

// --- Dialogs and controls ---------------------------------------------------------------

INT_PTR CALLBACK Win32Platform::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    DialogContext* context = nullptr;
    if (message == WM_INITDIALOG) {
        context = reinterpret_cast<DialogContext*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        context->window = dialog;
        context->platform->m_modalDialogs.push_back(dialog);
    } else {
        context = reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (context == nullptr) return FALSE;  // before WM_INITDIALOG
    }

    Message routed;
    routed.id = message;
    routed.wParam = wParam;
    routed.lParam = lParam;
    std::intptr_t result = 0;
    bool handled = context->sink->HandleMessage(dialog, routed, result);

    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
        context->platform->ForgetDialog(dialog);
    }

    switch (message) {
        case WM_INITDIALOG:
            return handled ? static_cast<INT_PTR>(result) : TRUE;
        // Messages whose result is the dialog procedure's return value.
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
            return handled ? static_cast<INT_PTR>(result) : FALSE;
        default:
            if (!handled) return FALSE;
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
            return TRUE;
    }
}

void Win32Platform::ForgetDialog(HWND dialog) {
    m_modalDialogs.erase(std::remove(m_modalDialogs.begin(), m_modalDialogs.end(), dialog),
                         m_modalDialogs.end());
}

std::intptr_t Win32Platform::RunModalDialog(unsigned templateId, Handle parent, DialogSink& sink) {
    DialogContext context = {this, &sink, nullptr};
    INT_PTR result = DialogBoxParamW(m_instance, MAKEINTRESOURCEW(templateId), AsWindow(parent),
                                     DialogProc, reinterpret_cast<LPARAM>(&context));
    if (context.window != nullptr) ForgetDialog(context.window);
    if (result == -1) {
        DWORD error = GetLastError();
        m_dialogCreationFailed = true;
        std::fprintf(stderr, "%s: cannot create dialog %u: %s (error %lu)\n", AppName().c_str(),
                     templateId, SystemMessage(error).c_str(), static_cast<unsigned long>(error));
        std::fflush(stderr);
    }
    return result;
}

void Win32Platform::EndModal(Handle dialog, std::intptr_t result) {
    EndDialog(AsWindow(dialog), static_cast<INT_PTR>(result));
}

void Win32Platform::Center(Handle window, Handle over) {
    HWND hwnd = AsWindow(window);
    HWND owner = AsWindow(over);
    RECT rect;
    if (!GetWindowRect(hwnd, &rect)) return;

    RECT work;
    MONITORINFO monitorInfo = {};
    monitorInfo.cbSize = sizeof monitorInfo;
    HMONITOR monitor = MonitorFromWindow(owner != nullptr ? owner : hwnd, MONITOR_DEFAULTTONEAREST);
    if (monitor != nullptr && GetMonitorInfoW(monitor, &monitorInfo)) {
        work = monitorInfo.rcWork;
    } else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work.left = 0;
        work.top = 0;
        work.right = GetSystemMetrics(SM_CXSCREEN);
        work.bottom = GetSystemMetrics(SM_CYSCREEN);
    }

    // A minimized or hidden owner has no useful rectangle: use the work area then.
    RECT area = work;
    RECT ownerRect;
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner) &&
        GetWindowRect(owner, &ownerRect)) {
        area = ownerRect;
    }

    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    // Keep it on screen, its top-left corner first.
    x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
    y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Handle Win32Platform::DialogItem(Handle dialog, int id) { return GetDlgItem(AsWindow(dialog), id); }

std::string Win32Platform::GetText(Handle window) {
    HWND hwnd = AsWindow(window);
    // The length may be larger than the text (never smaller).
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()));
    return Utf8FromUtf16(text.data(), static_cast<std::size_t>(std::max(copied, 0)));
}

void Win32Platform::SetText(Handle window, const std::string& text) {
    SetWindowTextW(AsWindow(window), Utf16FromUtf8(text).c_str());
}

int Win32Platform::ComboAddString(Handle combo, const std::string& text) {
    const std::wstring wide = Utf16FromUtf8(text);
    return static_cast<int>(
        SendMessageW(AsWindow(combo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int Win32Platform::ComboGetCount(Handle combo) {
    LRESULT count = SendMessageW(AsWindow(combo), CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

int Win32Platform::ComboGetCurSel(Handle combo) {
    LRESULT index = SendMessageW(AsWindow(combo), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Win32Platform::ComboSetCurSel(Handle combo, int index) {
    SendMessageW(AsWindow(combo), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string Win32Platform::ComboGetText(Handle combo, int index) {
    HWND hwnd = AsWindow(combo);
    // In characters, without the terminator.
    const LRESULT length = SendMessageW(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length <= 0) return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&text[0]));
    if (copied == CB_ERR || copied < 0) return std::string();
    return Utf8FromUtf16(text.data(), std::min(static_cast<std::size_t>(copied), text.size() - 1));
}

// --- Window furniture -------------------------------------------------------------------

void Win32Platform::AddSystemMenuEntry(Handle window, unsigned commandId, const std::string& text) {
    HMENU menu = GetSystemMenu(AsWindow(window), FALSE);
    if (menu == nullptr) return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(commandId), Utf16FromUtf8(text).c_str());
}

void Win32Platform::SetWindowIcon(Handle window, Handle icon, bool big) {
    SendMessageW(AsWindow(window), WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(icon));
}

bool Win32Platform::IsMinimized(Handle window) { return IsIconic(AsWindow(window)) != FALSE; }

void Win32Platform::PaintMinimizedIcon(Handle window, Handle icon) {
    HWND hwnd = AsWindow(window);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (dc == nullptr) return;
    SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    GetClientRect(hwnd, &rect);
    const Point at = CentredIconPosition({rect.left, rect.top, rect.right, rect.bottom},
                                         GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, at.x, at.y, static_cast<HICON>(icon));
    EndPaint(hwnd, &paint);
}

// --- Network ----------------------------------------------------------------------------

ResultCode Win32Platform::FetchUrl(const std::string& url, const FetchLimit& limit,
                                   StreamPtr& stream) {
    stream.reset();
    ScopedInternet session(InternetOpenW(Utf16FromUtf8(AppName()).c_str(),
                                         INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.valid()) return FetchErrorFromLastError();

    std::string current = url;
    for (int redirects = 0;; ++redirects) {
        Exchange exchange;
        ResultCode result = SendRequest(session.get(), current, exchange);
        if (result == kResultOk) {
            const DWORD status = StatusOf(exchange.request.get());
            std::string target;
            if (status < 100 || status > 999) {
                result = kResultDownloadFailure;
            } else if (RedirectTarget(exchange.request.get(), status, current, target)) {
                // Never from an encrypted connection to a plain one.
                if (redirects < kMaxRedirects && (!IsHttps(current) || IsHttps(target))) {
                    current = target;
                    continue;
                }
                result = kResultRedirectFailed;
            } else if (status < 200 || status > 299) {
                result = kResultHttpStatusBase + status;
            } else {
                result = ReadBody(exchange.request.get(), limit, stream, exchange.unfinished);
            }
        }
        if (exchange.unfinished) {
            // Closing an unfinished request makes Wine finish it first: wait for a connection
            // that never comes, or read what is left of a body for as long as more keeps
            // coming. It stays open instead, with its connection and session, until the
            // program ends.
            exchange.request.release();
            exchange.connection.release();
            session.release();
        }
        return result;
    }
}

// --- Text -------------------------------------------------------------------------------

std::string Win32Platform::DecodeText(const std::string& text, TextEncoding encoding) {
    if (encoding == TextEncoding::kUtf8) return Utf8FromUtf16(Utf16FromUtf8(text));
    // The system locale's code page, not the process's (GetACP), which a manifest may change.
    // A locale with none (Unicode-only) gives 0.
    DWORD codePage = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&codePage),
                       sizeof codePage / sizeof(wchar_t)) == 0 ||
        codePage == 0) {
        codePage = 1252;
    }
    return Utf8FromUtf16(Utf16FromCodePage(text, codePage));
}

std::string Win32Platform::FoldCase(const std::string& name) {
    const std::wstring wide = Utf16FromUtf8(name);
    if (wide.empty() || wide.size() > INT_MAX) return name;
    // Upper case without LCMAP_LINGUISTIC_CASING: the file system's own casing, the same in
    // every locale.
    const int size = static_cast<int>(wide.size());
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), size,
                                     nullptr, 0, nullptr, nullptr, 0);
    if (length <= 0) return name;
    std::wstring folded(static_cast<std::size_t>(length), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), size, &folded[0],
                      length, nullptr, nullptr, 0) != length) {
        return name;
    }
    return Utf8FromUtf16(folded);
}

// --- Shell and files --------------------------------------------------------------------

BrowseResult Win32Platform::BrowseForFolder(const std::string& title, std::string& path) {
    // Both take buffers of MAX_PATH characters.
    wchar_t buffer[MAX_PATH] = {};
    const std::wstring wideTitle = Utf16FromUtf8(title);
    BROWSEINFOW info = {};
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = buffer;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = 0;
    info.lpfn = nullptr;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (item == nullptr) return BrowseResult::kCancelled;
    const BOOL isPath = SHGetPathFromIDListW(item, buffer);
    CoTaskMemFree(item);
    if (!isPath) return BrowseResult::kNotFileSystem;
    path = Utf8FromUtf16(buffer);
    return BrowseResult::kChosen;
}

CopyResult Win32Platform::ShellCopy(Handle owner, const std::string& from, const std::string& to) {
    // Lists of one path each, ended by two zero characters (c_str adds the second).
    const std::wstring fromList = Utf16FromUtf8(from) + L'\0';
    const std::wstring toList = Utf16FromUtf8(to) + L'\0';
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = AsWindow(owner);
    operation.wFunc = FO_COPY;
    operation.pFrom = fromList.c_str();
    operation.pTo = toList.c_str();
    operation.fFlags = 0;
    CopyResult result;
    result.code = SHFileOperationW(&operation);
    result.aborted = operation.fAnyOperationsAborted != FALSE;
    return result;
}

void Win32Platform::OpenFolder(const std::string& path) {
    ShellExecuteW(nullptr, L"open", Utf16FromUtf8(path).c_str(), nullptr, nullptr,
                  SW_SHOWNOACTIVATE);
}

bool Win32Platform::ProbeFile(const std::string& path) {
    return ScopedHandle(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
        .valid();
}

bool Win32Platform::WriteWholeFile(const std::string& path, const void* data, std::size_t size,
                                   std::string& error) {
    const std::wstring file = SystemPath(path);
    // The system refuses to replace a read-only, hidden or system file (an installation
    // from disc media keeps the read-only attribute in its copy).
    const DWORD kInTheWay = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & kInTheWay) != 0) {
        const DWORD kept = attributes & ~kInTheWay;
        SetFileAttributesW(file.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    }
    ScopedHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
        error = SystemMessage(GetLastError());
        return false;
    }
    const char* next = static_cast<const char*>(data);
    std::size_t remaining = size;
    DWORD failure = ERROR_SUCCESS;
    while (remaining > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(remaining, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle.get(), next, chunk, &written, nullptr)) {
            failure = GetLastError();
            break;
        }
        if (written == 0) {
            failure = ERROR_WRITE_FAULT;
            break;
        }
        next += written;
        remaining -= written;
    }
    // Closing can fail too (a network file written back on close): that is a failed write.
    if (!CloseHandle(handle.release()) && failure == ERROR_SUCCESS) failure = GetLastError();
    if (failure != ERROR_SUCCESS) {
        // Leave no partial file behind that could pass for a written one.
        DeleteFileW(file.c_str());
        error = SystemMessage(failure);
        return false;
    }
    return true;
}

bool Win32Platform::ListFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                               std::string& error) {
    entries.clear();
    const DWORD failure = ListEntries(folder, [&](const WIN32_FIND_DATAW& data) {
        FolderEntry entry;
        entry.name = Utf8FromUtf16(data.cFileName);
        entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // dwReserved0 holds the reparse tag. Junctions and symbolic links name another file;
        // other reparse points (cloud placeholders, deduplicated files...) are the file
        // itself. No reparse point has the reserved tag 0: Wine gives it to its symbolic
        // links.
        entry.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                     (IsReparseTagNameSurrogate(data.dwReserved0) || data.dwReserved0 == 0);
        entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (entry.link && !entry.folder) {
            // A link to a file lists its own size; the copy takes its target's.
            ScopedHandle target(CreateFileW(SystemPath(JoinPath(folder, entry.name)).c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
            LARGE_INTEGER size;
            if (target.valid() && GetFileSizeEx(target.get(), &size)) {
                entry.size = static_cast<std::uint64_t>(size.QuadPart);
            }
        }
        entries.push_back(std::move(entry));
    });
    if (failure == ERROR_SUCCESS) return true;
    error = SystemMessage(failure);
    return false;
}

bool Win32Platform::IdentifyFile(const std::string& path, FileId& id) {
    // No access rights asked: enough to identify, and folders open too.
    ScopedHandle file(CreateFileW(SystemPath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info)) return false;
    id = FileId{};
    id.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    FILE_ID_INFO wide = {};
    if (GetFileInformationByHandleEx(file.get(), FileIdInfo, &wide, sizeof wide)) {
        id.volume = wide.VolumeSerialNumber;
        std::memcpy(&id.low, wide.FileId.Identifier, sizeof id.low);
        std::memcpy(&id.high, wide.FileId.Identifier + sizeof id.low, sizeof id.high);
    } else {
        // Before Windows 8 and on some file systems: the 64-bit file index.
        id.volume = info.dwVolumeSerialNumber;
        id.low = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    // The length without the terminator, or the room needed with it when the buffer is short.
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(file.get(), &final[0], static_cast<DWORD>(final.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) break;  // no drive letter, a share refusing a component...
        if (length < final.size()) {
            final.resize(length);
            id.finalPath = OrdinaryPath(final);
            break;
        }
        if (length > 32768) break;
        final.assign(length, L'\0');
    }
    return true;
}

bool Win32Platform::QueryVolumeSpace(const std::string& folder, VolumeSpace& space) {
    if (folder.empty()) return false;  // would be the current folder's
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(WithSeparator(folder).c_str(), &available, nullptr, nullptr)) {
        return false;
    }
    // The root of the volume the folder is on (a mounted folder is a root of its own),
    // with its final separator: the sizes of clusters are asked of roots only.
    const std::wstring wide = SystemPath(folder);
    std::wstring root(wide.size() + 2, L'\0');
    if (!GetVolumePathNameW(wide.c_str(), &root[0], static_cast<DWORD>(root.size()))) {
        return false;
    }
    root.resize(std::wcslen(root.c_str()));
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &clusters)) {
        return false;
    }
    space.free = available.QuadPart;
    space.cluster = static_cast<std::uint64_t>(sectorsPerCluster) * bytesPerSector;
    return true;
}

bool Win32Platform::CanCreateFileIn(const std::string& folder, std::string& error) {
    DWORD failure = ERROR_SUCCESS;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "~tessaloom-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64()) + "-" + std::to_string(attempt) +
                                 ".tmp";
        // Gone when its handle closes, at once; never replaces a file that is there.
        ScopedHandle file(CreateFileW(
            SystemPath(JoinPath(folder, name)).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
            CREATE_NEW,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (file.valid()) return true;
        failure = GetLastError();
        if (failure != ERROR_FILE_EXISTS) break;
    }
    error = SystemMessage(failure);
    return false;
}

}  // namespace tessaloom
