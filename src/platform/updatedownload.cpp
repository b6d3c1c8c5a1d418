#include "updatedownload.h"

#include <QDir>
#include <QFile>

#include <curl/curl.h>

#include <mutex>

namespace zelbrin::platform {

namespace {

struct Transfer {
    QFile *file;
    qint64 limit;
    qint64 received = 0;
    const std::atomic_bool *stop;
};

size_t onData(char *data, size_t size, size_t count, void *user) {
    auto &t = *static_cast<Transfer *>(user);
    const qint64 n = qint64(size * count);
    t.received += n;
    if (t.received > t.limit || (t.stop && t.stop->load()))
        return 0;  // ends the transfer with a write error
    return t.file->write(data, n) == n ? size * count : 0;
}

int onProgress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto &t = *static_cast<Transfer *>(user);
    return t.stop && t.stop->load() ? 1 : 0;
}

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

DownloadResult downloadUpdateList(const QString &url, const QString &downloadFolder,
                                  const ProxySettings &proxy, const std::atomic_bool *stop,
                                  qint64 limit) {
    if (!QDir(downloadFolder).exists() && !QDir().mkpath(downloadFolder))
        return DownloadResult::Failed;
    QFile file(downloadFolder + QStringLiteral("Down.dll"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return DownloadResult::Error;

    initCurlOnce();
    CURL *curl = curl_easy_init();
    if (!curl)
        return DownloadResult::Error;
    Transfer transfer{&file, limit, 0, stop};
    const QByteArray urlBytes = url.toUtf8();
    const QByteArray proxyHost =
        proxy.enabled ? proxy.host.toUtf8() : QByteArray();  // empty: direct connection
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_PROXY, proxyHost.constData());
    if (!proxyHost.isEmpty())
        curl_easy_setopt(curl, CURLOPT_PROXYPORT, long(proxy.port));
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limit));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &onData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    file.close();
    return code == CURLE_OK && file.error() == QFileDevice::NoError ? DownloadResult::Downloaded
                                                                    : DownloadResult::Failed;
}

}  // namespace zelbrin::platform
