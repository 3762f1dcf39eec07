#pragma once

// Starts and drives the local HTTPS stand-in of the classification service (standin.py) from
// C++: tests, the end-to-end test and the demo give it canned responses and read back the
// requests exactly as the server received them.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vr::standin {

class StandinProcess;

using Headers = std::vector<std::pair<std::string, std::string>>;

// One canned response; see standin.py for what each field does on the wire.
struct Response {
    int status = 200;
    std::string reason = "OK";
    std::string version = "HTTP/1.1";
    Headers headers;
    std::string body;              // bytes, sent as they are
    std::string repeatText;        // when repeatCount > 0, the body is repeatText repeated
    long long repeatCount = 0;
    bool contentLength = true;     // false: no Content-Length, the connection closes after it
    double delayHeaders = 0;       // seconds before the status line
    long long stallAfter = -1;     // bytes of body before a pause of stallSeconds
    double stallSeconds = 0;
    long long trickleChunk = 0;    // > 0: the body in pieces of this size...
    double trickleInterval = 0;    // ...with this pause after each
    bool trickleHead = false;      // the status line and headers trickle too
    bool hang = false;             // never answer
    bool close = false;            // close without answering
};

// One request as the server received it (bytes of the request line and head, unchanged).
struct Request {
    int connection = 0;
    std::string listener;
    std::string method;
    std::string target;
    std::string version;
    Headers headers;
    // Values of every header with this name (compared ignoring letter case), in order.
    std::vector<std::string> Header(std::string_view name) const;
};

struct Options {
    std::filesystem::path program;   // standin.py
    std::filesystem::path python = "python3";
    std::filesystem::path certDir;   // made once with "standin.py certs" when it lacks ca.crt
};

class Server {
public:
    explicit Server(Options options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    int port() const { return port_; }
    int silentPort() const { return silentPort_; }  // accepts, never speaks
    int slowHandshakePort() const { return slowHandshakePort_; }  // TLS a byte at a time
    int proxyPort() const { return proxyPort_; }  // a plain-HTTP proxy answering 407 to all
    int untrustedPort() const { return untrustedPort_; }  // certificate of an unknown CA
    int wrongHostPort() const { return wrongHostPort_; }  // certificate for another host name
    std::string Origin() const { return "https://127.0.0.1:" + std::to_string(port_); }
    std::filesystem::path CaFile() const { return options_.certDir / "ca.crt"; }

    // Answers requests for the path (before "?", as received) with these responses in turn,
    // the last one repeating. Takes effect for the next request; counters start again.
    void Route(const std::string& path, std::vector<Response> responses);
    void Route(const std::string& path, Response response) {
        Route(path, std::vector<Response>{std::move(response)});
    }
    void ClearRoutes();

    // The requests received since the last call, in order.
    std::vector<Request> TakeRequests();

private:
    void WriteScript();

    Options options_;
    std::filesystem::path workDir_;
    std::unique_ptr<StandinProcess> process_;
    int port_ = 0;
    int silentPort_ = 0;
    int slowHandshakePort_ = 0;
    int proxyPort_ = 0;
    int untrustedPort_ = 0;
    int wrongHostPort_ = 0;
    long long generation_ = 0;
    std::map<std::string, std::vector<Response>> routes_;
    std::uintmax_t recordOffset_ = 0;
};

// Turns the stand-in's JSON text into the bytes it stands for (ISO-8859-1 code points).
std::string Latin1Bytes(std::string_view utf8);

}  // namespace vr::standin
