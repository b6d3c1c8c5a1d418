#pragma once

#include "updatelist.h"

#include <QString>
#include <atomic>

namespace zelbrin::platform {

// An update list is a few kilobytes; anything above this is not one.
inline constexpr qint64 kMaxUpdateListSize = 1024 * 1024;

enum class DownloadResult {
    Downloaded,  // the whole list is in the file
    Failed,      // no download folder, no connection, an error status, too large, stopped
    Error,       // the list's file cannot be created
};

// HTTP GET of url into downloadFolder + "Down.dll" (created, replacing an earlier file),
// through the proxy when it is enabled and has a host, directly otherwise. The request
// carries nothing of its own besides the URL. The transfer is abandoned as soon as
// *stop becomes true or more than limit bytes arrive; the file then keeps what was
// written.
DownloadResult downloadUpdateList(const QString &url, const QString &downloadFolder,
                                  const ProxySettings &proxy,
                                  const std::atomic_bool *stop = nullptr,
                                  qint64 limit = kMaxUpdateListSize);

}  // namespace zelbrin::platform
