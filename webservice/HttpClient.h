#pragma once

// The GET exchange with the classification service, behind an interface of our own: the URL
// encoding, the decoding of the body and the status treatment live here, the rules of the
// transfer (redirects, HTTPS only, header lines, the body's bound, the two deadlines) in
// ExchangeRules.h. The transport of the platform (libcurl on Linux, WinHTTP on Windows) moves the
// bytes and applies those rules where only it can: it follows the redirects and enforces the
// deadlines, since only it sees where a handshake ends.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "webservice/UrlEncoding.h"

namespace vr {

using THeaderList = std::vector<std::pair<std::string, std::string>>;

struct THttpRequest {
    std::string url;                // the URL text as the operation concatenated it
    std::vector<TQueryParam> query;  // in the order they are appended
    int timeoutMs = 0;              // the connect bound and the answer's bound, each as a whole
};

// The final answer of an exchange, as the operations see it.
struct THttpAnswer {
    int statusCode = 0;
    std::string protocolVersion;  // as received, e.g. "HTTP/1.1"
    std::string reasonPhrase;     // as received, possibly empty
    std::string content;          // the body decoded to UTF-8 text
    std::string mediaType;        // Content-Type without its parameters; empty when absent
    THeaderList headers;          // of the final answer, in the order received
};

// A failed exchange. When the failure is a final status of 500 or more the decoded answer
// travels with the error, so that the caller can still read its content.
class RestError : public Error {
public:
    explicit RestError(const std::string& message) : Error(message) {}
    RestError(const std::string& message, THttpAnswer answer)
        : Error(message), answer_(std::make_shared<const THttpAnswer>(std::move(answer))) {}

    // The answer as received, or null when none arrived.
    const THttpAnswer* answer() const { return answer_.get(); }

private:
    std::shared_ptr<const THttpAnswer> answer_;  // shared: exceptions must copy without throwing
};

// What a transport hands back: the final answer after any redirects, not yet decoded.
struct TRawAnswer {
    std::string statusLine;  // as received, without its line break
    int statusCode = 0;
    THeaderList headers;
    std::string body;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;

    // Runs one GET exchange. Throws RestError when no final answer arrives ("REST request
    // failed: ...") and when the final status is 500 or more (the status line, with the
    // answer); vr::Error when the body's character set is unknown.
    THttpAnswer Get(const THttpRequest& request);

protected:
    // Sends GET for an address already encoded, follows the redirects and bounds the exchange
    // by TExchangeDeadlines (from the start to the end of the TLS handshake; from there to the
    // last byte of the final answer, however it trickles in, redirects included) and the body
    // by kMaxBodyBytes. Throws RestError("REST request failed: ...").
    virtual TRawAnswer Transfer(const std::string& url, int timeoutMs) = 0;
};

// Largest answer body accepted; a larger one fails the exchange instead of exhausting memory.
inline constexpr std::size_t kMaxBodyBytes = 64u * 1024u * 1024u;

// The texts every transport sends and enforces. The Accept value ends in a comma on purpose: the
// classification service has always received it so, and nothing is gained by changing what a
// peer may have come to rely on.
inline constexpr const char* kAcceptHeader = "application/json, text/plain; q=0.9, text/html;q=0.8,";
inline constexpr const char* kAcceptCharsetHeader = "utf-8, *;q=0.8";
inline constexpr const char* kUserAgent = "VevoveRazara/1.0";
inline constexpr int kMaxRedirects = 5;
inline constexpr const char* kRestFailurePrefix = "REST request failed: ";

}  // namespace vr
