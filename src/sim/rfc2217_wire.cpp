#include "rfc2217_wire.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pty_wire.h"

namespace hc11 {

namespace {

bool SetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

bool Fail(const char *what) {
    std::fprintf(stderr, "hc11sim: %s: %s\n", what, std::strerror(errno));
    return false;
}

}  // namespace

bool ParseListenAddress(const char *text, std::string *host, unsigned *port) {
    const char *colon = std::strrchr(text, ':');
    const char *digits = colon ? colon + 1 : text;
    *host = colon ? std::string(text, colon) : "127.0.0.1";
    char *end = nullptr;
    unsigned long value = std::strtoul(digits, &end, 10);
    if (end == digits || *end != '\0' || value > 65535 || host->empty()) return false;
    in_addr address;
    if (inet_pton(AF_INET, host->c_str(), &address) != 1) return false;
    *port = unsigned(value);
    return true;
}

Rfc2217Wire::~Rfc2217Wire() {
    if (clientFd_ >= 0) close(clientFd_);
    if (listenFd_ >= 0) close(listenFd_);
}

bool Rfc2217Wire::listen(const std::string &host, unsigned port) {
    listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (listenFd_ < 0) return Fail("socket");
    int yes = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return Fail(("cannot listen on " + host + ":" + std::to_string(port)).c_str());
    if (::listen(listenFd_, 4) != 0 || !SetNonBlocking(listenFd_)) return Fail("listen");
    socklen_t size = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &size);
    host_ = host;
    port_ = ntohs(address.sin_port);
    return true;
}

std::string Rfc2217Wire::url() const {
    return "rfc2217://" + host_ + ":" + std::to_string(port_);
}

// A new client starts a new session: no rate set, lines released.
void Rfc2217Wire::acceptClient() {
    int fd = accept(listenFd_, nullptr, nullptr);
    if (fd < 0) return;
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (!SetNonBlocking(fd)) {
        close(fd);
        return;
    }
    clientFd_ = fd;
    session_ = Rfc2217Session();
}

void Rfc2217Wire::dropClient() {
    close(clientFd_);
    clientFd_ = -1;
    session_ = Rfc2217Session();
    released_ = true;
}

size_t Rfc2217Wire::receive(uint8_t *buffer, size_t room) {
    if (clientFd_ < 0) acceptClient();
    if (clientFd_ < 0) return 0;
    uint8_t raw[256];
    ssize_t got = read(clientFd_, raw, room < sizeof raw ? room : sizeof raw);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        dropClient();
        return 0;
    }
    if (got < 0) return 0;
    size_t count = session_.take(raw, size_t(got), buffer);
    sendReplies();
    return count;
}

void Rfc2217Wire::sendReplies() {
    std::vector<uint8_t> &replies = session_.replies();
    if (replies.empty()) return;
    writeAll(replies.data(), replies.size());
    replies.clear();
}

// Bytes for a client that is not there are lost, as on a line with nothing at its end.
void Rfc2217Wire::send(const uint8_t *bytes, size_t count) {
    if (clientFd_ < 0) return;
    std::vector<uint8_t> escaped;
    Rfc2217Session::Escape(bytes, count, &escaped);
    if (!writeAll(escaped.data(), escaped.size())) dropClient();
}

bool Rfc2217Wire::writeAll(const uint8_t *bytes, size_t count) {
    while (count > 0) {
        ssize_t written = write(clientFd_, bytes, count);
        if (written > 0) {
            bytes += written;
            count -= size_t(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd writable = {clientFd_, POLLOUT, 0};
        if (poll(&writable, 1, 1000) <= 0) return false;
    }
    return true;
}

void Rfc2217Wire::waitForInput(double seconds) {
    WaitReadable(clientFd_ >= 0 ? clientFd_ : listenFd_, wakeFd_, seconds);
}

bool Rfc2217Wire::takeLineChange(bool *dtr, bool *rts) {
    if (session_.takeLineChange(dtr, rts)) return true;
    if (!released_) return false;
    released_ = false;
    *dtr = *rts = false;
    return true;
}

}  // namespace hc11
