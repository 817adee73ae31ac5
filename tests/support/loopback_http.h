// A small HTTP/1.1 server on 127.0.0.1 for the update tests: an ephemeral port, its own thread, one
// connection at a time, a route table and a log of the requests. Routes can answer with any status, with or
// without Content-Length, with a body shorter or longer than declared, redirect, stall or drip slowly. Every
// wait ends when the client goes away or the server stops, so nothing outlives the test.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct HttpRoute {
    int status = 200;
    std::string body;
    // The Content-Length sent: the body's size when not set; none at all when send_length is false (the body
    // then ends with the connection).
    std::optional<std::uint64_t> declared_length;
    bool send_length = true;
    std::string location;                      // a Location header when not empty
    bool stall = false;                        // send nothing until the client gives up
    std::size_t drip_bytes = 0;                // send the body in pieces of this size ...
    std::chrono::milliseconds drip_pause{0};   // ... with this pause between them
};

// A 200 answer with this body.
HttpRoute Ok(std::string body);

// Where the update tests serve the manifest and the package (below BaseUrl() + "/upgrade/").
inline const std::string kVersionPath = "/upgrade/brindlemoor/brindlemoor.txt";
inline const std::string kPackagePath = "/upgrade/brindlemoor/brindlemoor.deb";

class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Answers requests for `path` (without query) with `route`; unknown paths get 404.
    void Route(const std::string& path, HttpRoute route);
    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>".
    std::string BaseUrl() const;
    // The paths requested so far, in order.
    std::vector<std::string> Requests() const;

    // A port on 127.0.0.1 where nothing listens (bound, then closed).
    static std::uint16_t ClosedPort();

private:
    void Serve();
    void Handle(int client);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, HttpRoute> routes_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace testsupport
