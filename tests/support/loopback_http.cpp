// The loopback server's accept loop and answers.
#include "tests/support/loopback_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

namespace {

constexpr int kMaxConnections = 200;         // a test never needs more; a runaway client is cut off
constexpr std::size_t kMaxRequestBytes = 16384;

int ListenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error("bind on 127.0.0.1 (is the loopback interface up?)");
    }
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return fd;
}

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

HttpRoute Ok(std::string body) {
    HttpRoute route;
    route.body = std::move(body);
    return route;
}

LoopbackHttpServer::LoopbackHttpServer() {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void LoopbackHttpServer::Route(const std::string& path, HttpRoute route) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(route);
}

std::string LoopbackHttpServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> LoopbackHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::uint16_t LoopbackHttpServer::ClosedPort() {
    std::uint16_t port = 0;
    const int fd = ListenOnLoopback(port);
    ::close(fd);
    return port;
}

void LoopbackHttpServer::Serve() {
    for (int served = 0; served < kMaxConnections && !stop_;) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        ++served;
        Handle(client);
        ::close(client);
    }
}

void LoopbackHttpServer::Handle(int client) {
    // True while the client is still there and the server runs: waits up to `ms` for it to hang up.
    auto client_stays = [&](int ms) {
        for (int waited = 0; waited < ms && !stop_; waited += 10) {
            pollfd peer{client, POLLIN, 0};
            if (::poll(&peer, 1, 10) > 0) {
                char byte;
                if (::recv(client, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) return false;
            }
        }
        return !stop_;
    };
    auto send_all = [&](const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(client, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    };

    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes && !stop_) {
        pollfd peer{client, POLLIN, 0};
        if (::poll(&peer, 1, 20) <= 0) continue;
        char buffer[2048];
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t first_blank = request.find(' ');
    const std::size_t second_blank = request.find(' ', first_blank + 1);
    if (first_blank == std::string::npos || second_blank == std::string::npos) return;
    std::string path = request.substr(first_blank + 1, second_blank - first_blank - 1);
    path = path.substr(0, path.find('?'));

    HttpRoute route;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(path);
        const auto found = routes_.find(path);
        if (found != routes_.end()) {
            route = found->second;
        } else {
            route.status = 404;
            route.body = "not here";
        }
    }
    if (route.stall) {
        while (client_stays(100)) {
        }
        return;
    }
    std::string head = "HTTP/1.1 " + std::to_string(route.status) + " " + Reason(route.status) + "\r\n";
    if (route.send_length) {
        head += "Content-Length: " + std::to_string(route.declared_length.value_or(route.body.size())) + "\r\n";
    }
    if (!route.location.empty()) head += "Location: " + route.location + "\r\n";
    head += "Connection: close\r\n\r\n";
    if (!send_all(head)) return;
    if (route.drip_bytes == 0) {
        send_all(route.body);
        return;
    }
    for (std::size_t at = 0; at < route.body.size(); at += route.drip_bytes) {
        if (!send_all(route.body.substr(at, route.drip_bytes))) return;
        if (!client_stays(static_cast<int>(route.drip_pause.count()))) return;
    }
}

}  // namespace testsupport
