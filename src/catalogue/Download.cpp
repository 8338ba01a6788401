#include "catalogue/Download.h"

#include <cstdio>
#include <utility>

#include "framework/Framework.h"

namespace tessaloom {

const char kSupportContact[] = "support@tessaloom.example";

std::string DownloadErrorText(ResultCode code, const std::string& url) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%.8x", static_cast<unsigned>(code));
    return std::string("An error (0x") + hex + ") occured while downloading " + url +
           ".\nPlease contact " + kSupportContact + ", or try to download the file manually.";
}

bool DownloadToStream(Platform& platform, const std::string& url, StreamPtr& stream,
                      const FetchLimit& limit) {
    for (;;) {
        StreamPtr fetched;
        ResultCode code = kResultOk;
        {
            CWaitCursor wait(platform);  // up to a minute without an answer
            code = platform.FetchUrl(url, limit, fetched);
        }
        if (code == kResultOk && fetched) {
            stream = std::move(fetched);
            return true;
        }
        if (code == kResultAborted) return false;
        if (code == kResultOk) code = kResultDownloadFailure;  // success without a body
        if (AfxMessageBox(platform, DownloadErrorText(code, url), kMbRetryCancel) != kIdRetry) {
            return false;
        }
    }
}

}  // namespace tessaloom
