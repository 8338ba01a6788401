// Fetching a whole catalogue file, with the user's retry prompt on failure.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace tessaloom {

extern const char kSupportContact[];

// A connection file is a few hundred bytes; anything past this is not one.
constexpr FetchLimit kConnectionFileLimit = {16u * 1024u * 1024u, false};

// The text of the retry prompt for a failed fetch of `url` with result `code`.
std::string DownloadErrorText(ResultCode code, const std::string& url);

// Fetches `url` within `limit`; on failure asks the user whether to retry, as often as the
// user wants. True: `stream` holds the body and belongs to the caller. False: the fetch was
// aborted or the user gave up; no stream is handed over.
bool DownloadToStream(Platform& platform, const std::string& url, StreamPtr& stream,
                      const FetchLimit& limit);

}  // namespace tessaloom
