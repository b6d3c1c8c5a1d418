#pragma once

// A tiny HTTP server on 127.0.0.1 for tests, on a thread of its own so that it answers
// while the test's thread blocks. Every request gets the one configured response.
#include <QByteArray>
#include <QList>
#include <QString>

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zelbrin::testing {

class TinyHttpServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        bool stall = false;  // read the request, then never answer
    };

    TinyHttpServer() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
            ::listen(listenFd_, 16) != 0)
            return;
        socklen_t len = sizeof addr;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TinyHttpServer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listenFd_ >= 0)
            ::close(listenFd_);
    }

    bool ok() const { return port_ != 0; }
    quint16 port() const { return port_; }
    QString baseUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/update/Chm/CHS/").arg(port_);
    }
    void setResponse(Response r) {
        std::lock_guard lock(mutex_);
        response_ = std::move(r);
    }
    int requestCount() const { return requests_.load(); }
    QList<QByteArray> requestLines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    // A port on 127.0.0.1 where nothing listens.
    static quint16 closedPort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
        ::close(fd);
        return ntohs(addr.sin_port);
    }

private:
    bool waitReadable(int fd) {
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, 20);
            if (r > 0)
                return true;
            if (r < 0)
                return false;
        }
        return false;
    }

    void serve() {
        while (waitReadable(listenFd_)) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            handle(fd);
            ::close(fd);
        }
    }

    void handle(int fd) {
        QByteArray request;
        char buffer[4096];
        while (!request.contains("\r\n\r\n") && waitReadable(fd)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, n);
        }
        Response r;
        {
            std::lock_guard lock(mutex_);
            lines_ << request.left(request.indexOf("\r\n"));
            r = response_;
        }
        ++requests_;
        if (r.stall) {
            while (waitReadable(fd) && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
            return;
        }
        const QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) +
                                (r.status == 200 ? " OK" : " Error") + "\r\nContent-Length: " +
                                QByteArray::number(r.body.size()) +
                                "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
        const QByteArray all = head + r.body;
        qsizetype sent = 0;
        while (sent < all.size() && !stop_) {
            const ssize_t n = ::send(fd, all.constData() + sent, size_t(all.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += n;
        }
    }

    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic_bool stop_{false};
    std::atomic_int requests_{0};
    mutable std::mutex mutex_;
    Response response_;
    QList<QByteArray> lines_;
    std::thread thread_;
};

}  // namespace zelbrin::testing
