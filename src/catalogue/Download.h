// Fetching a whole catalogue file, with the user's retry prompt on failure.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace tessaloom {

extern const char kSupportContact[];

// The text of the retry prompt for a failed fetch of `url` with result `code`.
std::string DownloadErrorText(ResultCode code, const std::string& url);

// Fetches `url`; on failure asks the user whether to retry, as often as the user wants.
// True: `stream` holds the whole body and belongs to the caller. False: the fetch was
// aborted or the user gave up; no stream is handed over.
bool DownloadToStream(Platform& platform, const std::string& url, StreamPtr& stream);

}  // namespace tessaloom
