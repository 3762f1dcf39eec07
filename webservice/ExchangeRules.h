#pragma once

// What the GET exchange requires whatever moves its bytes: the redirects it follows, the
// addresses it accepts, how an answer's header lines read, how large a body may be, its two
// deadlines and the texts of its failures. Both transports apply these; they only move bytes.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "webservice/HttpClient.h"

namespace vr {

bool IsRedirectStatus(int status);

// Counts one more redirect of the exchange; throws RestError past kMaxRedirects.
void CountRedirect(int& redirects);

// Throws RestError unless the address is HTTPS: a redirect elsewhere is refused, like the
// first address.
void RequireHttps(std::string_view address);
void RequireHttpsRedirect(std::string_view location);

// Adds one line of an answer's head (without its line break) to the headers: a line that starts
// with a space or tab continues the previous value, the value loses its surrounding blanks and a
// line without a colon (the status line, the empty end) is skipped.
void AddHeaderLine(THeaderList& headers, std::string_view line);

// The Content-Length a head declares; nothing when absent or not a plain number. A length too
// large to count is given as one over kMaxBodyBytes.
std::optional<std::size_t> DeclaredLength(const THeaderList& headers);
bool DeclaresTooLarge(std::string_view contentLength);
// Throws RestError when a body of this many bytes would pass kMaxBodyBytes.
void CheckBodySize(std::size_t bytes);
std::string TooLargeReason();

// "REST request failed: " and the reason, made valid UTF-8.
RestError TransportFailure(std::string_view reason);

// The text of a bound that ran out, the same for either phase.
std::string TimeoutReason(int timeoutMs, bool answerBegun);

// A proxy that answered 407: the request never reached the service. Names the refusal and
// what to do about it; whereToConfigure says where this platform takes its proxy from.
RestError ProxyRefusal(std::string_view whereToConfigure);

// The two bounds of one exchange, redirects included: from its start to the end of the first
// TLS handshake the connect bound; from there to the last byte of the final answer the
// timeout, once, so that a redirect gets no time afresh. Both bounds are the request's timeout.
class TExchangeDeadlines {
public:
    using Clock = std::chrono::steady_clock;

    explicit TExchangeDeadlines(int timeoutMs);

    // The first handshake of the exchange has ended: the answer's deadline starts now. Later
    // handshakes (redirects) change nothing.
    void HandshakeEnded();
    bool AnswerPhase() const { return answerPhase_; }
    // The deadline of the phase the exchange is in.
    Clock::time_point Deadline() const { return deadline_; }
    bool Passed() const { return Clock::now() >= deadline_; }
    // Milliseconds left, at least 1 (a transport's "0" often means "no limit").
    long RemainingMs() const;

private:
    std::chrono::milliseconds timeout_;
    Clock::time_point deadline_;
    bool answerPhase_ = false;
};

}  // namespace vr
