#include "webservice/PlatformHttpClient.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "platform/windows/WindowsText.h"
#include "webservice/ExchangeRules.h"
#include "webservice/UrlParts.h"

namespace vr {

namespace {

[[noreturn]] void Fail(std::string_view reason) { throw TransportFailure(reason); }

// MinGW's headers predate TLS 1.3.
#ifndef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
#define WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3 0x00002000
#endif

// winhttp.dll holds the texts of its codes; Wine's copy has none, so the usual ones have ours.
std::string WinHttpReason(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring found;
    if (length > 0 && buffer != nullptr) found.assign(buffer, length);
    if (buffer != nullptr) LocalFree(buffer);
    while (!found.empty() && (found.back() == L'\r' || found.back() == L'\n' || found.back() == L' ' ||
                              found.back() == L'.')) {
        found.pop_back();
    }
    if (!found.empty()) return win::Narrow(found);
    switch (code) {
        case ERROR_WINHTTP_TIMEOUT: return "The operation timed out";
        case ERROR_WINHTTP_INVALID_URL: return "The URL is invalid";
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return "The URL does not use a recognized protocol";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "The server name or address could not be resolved";
        case ERROR_WINHTTP_CANNOT_CONNECT: return "A connection with the server could not be established";
        case ERROR_WINHTTP_CONNECTION_ERROR: return "The connection with the server was ended abnormally";
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID: return "The server's certificate is out of its validity";
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID: return "The server's certificate is for another host name";
        case ERROR_WINHTTP_SECURE_INVALID_CA: return "The server's certificate comes from an untrusted authority";
        case ERROR_WINHTTP_SECURE_INVALID_CERT: return "The server's certificate is invalid";
        case ERROR_WINHTTP_SECURE_CERT_REVOKED: return "The server's certificate has been revoked";
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return "An error occurred in the secure channel support";
        case ERROR_WINHTTP_SECURE_FAILURE: return "A security error occurred";
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return "The server returned an invalid or unknown response";
        case ERROR_WINHTTP_HEADER_COUNT_EXCEEDED: return "The answer has more headers than allowed";
        case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW: return "The answer's headers exceed the size allowed";
        default: return win::SystemReason(code);
    }
}

// Wine lets some Winsock codes through where Windows reports its own.
DWORD AsWinHttpCode(DWORD code) {
    switch (code) {
        case WSAETIMEDOUT: return ERROR_WINHTTP_TIMEOUT;
        case WSAECONNRESET:
        case WSAECONNABORTED: return ERROR_WINHTTP_CONNECTION_ERROR;
        default: return code;
    }
}

[[noreturn]] void FailWith(DWORD code) { Fail(WinHttpReason(AsWinHttpCode(code))); }

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {
        if (handle_ == nullptr) FailWith(GetLastError());
    }
    ~InternetHandle() { WinHttpCloseHandle(handle_); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }

private:
    HINTERNET handle_;
};

// A handle that may be closed before its owner ends (a step given up at the deadline).
class OptionalHandle {
public:
    explicit OptionalHandle(HINTERNET handle) : handle_(handle) {
        if (handle_ == nullptr) FailWith(GetLastError());
    }
    ~OptionalHandle() { reset(); }
    OptionalHandle(const OptionalHandle&) = delete;
    OptionalHandle& operator=(const OptionalHandle&) = delete;
    HINTERNET get() const { return handle_; }
    void reset() {
        if (handle_ != nullptr) WinHttpCloseHandle(std::exchange(handle_, nullptr));
    }

private:
    HINTERNET handle_;
};

void Check(BOOL done) {
    if (!done) FailWith(GetLastError());
}

// What the status callback of one request hands to the thread that waits for it. WinHTTP runs
// the request asynchronously and the exchange waits for each step with the deadline of its
// phase, so no step outlasts it whatever WinHTTP's own timeouts count; past the deadline the
// exchange closes the request and goes. A step given up on may still complete afterwards (Wine
// finishes a blocking read after the handle is closed), into this state and its buffer, so the
// state is freed by the last of its two owners: the request, when it is done with it, and
// WinHTTP, when it closes the handle for good.
struct CallState {
    std::mutex mutex;
    std::condition_variable changed;
    bool completed = false;
    DWORD error = 0;
    DWORD bytes = 0;            // what became available, or what a read put into the buffer
    std::vector<char> buffer;   // WinHTTP writes a read here, possibly after the exchange gave up
    int owners = 1;

    void Share() {
        const std::lock_guard lock(mutex);
        ++owners;
    }
    void Release() {
        bool last = false;
        {
            const std::lock_guard lock(mutex);
            last = --owners == 0;
        }
        if (last) delete this;
    }
};

// The request's share of its CallState.
class SharedState {
public:
    SharedState() = default;
    ~SharedState() { state_->Release(); }
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;
    CallState* get() const { return state_; }
    CallState* operator->() const { return state_; }

private:
    CallState* state_ = new CallState;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    auto* const state = reinterpret_cast<CallState*>(context);
    if (state == nullptr) return;
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        state->Release();
        return;
    }
    {
        const std::lock_guard lock(state->mutex);
        switch (status) {
            case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
            case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: break;
            case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: state->bytes = *static_cast<const DWORD*>(info); break;
            case WINHTTP_CALLBACK_STATUS_READ_COMPLETE: state->bytes = length; break;
            case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
                state->error = static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError;
                break;
            default: return;
        }
        state->completed = true;
    }
    state->changed.notify_all();
}


// The proxy is WinHTTP's own setting (netsh winhttp), the one place a service running as
// local system has its proxy configured by an administrator; the automatic setting would read
// the system account's per-user settings, which nobody sets.
HINTERNET OpenSession() {
    const std::wstring agent = win::Widen(kUserAgent);
    return WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                       WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
}

// A header of the answer as text; nothing when the answer lacks it.
std::optional<std::wstring> QueryHeader(HINTERNET request, DWORD info) {
    DWORD bytes = 0;
    if (WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                            WINHTTP_NO_HEADER_INDEX)) {
        return std::wstring();
    }
    const DWORD error = GetLastError();
    if (error == ERROR_WINHTTP_HEADER_NOT_FOUND) return std::nullopt;
    if (error != ERROR_INSUFFICIENT_BUFFER) FailWith(error);
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    Check(WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &bytes,
                              WINHTTP_NO_HEADER_INDEX));
    value.resize(bytes / sizeof(wchar_t));
    return value;
}

// WINHTTP_QUERY_RAW_HEADERS: the status line and each header line, each ended by a NUL.
THeaderList ParseRawHeaders(std::wstring_view raw) {
    THeaderList headers;
    bool statusLine = true;
    while (!raw.empty()) {
        const std::size_t end = std::min(raw.find(L'\0'), raw.size());
        const std::string line = win::Narrow(raw.substr(0, end));
        raw.remove_prefix(std::min(end + 1, raw.size()));
        if (!std::exchange(statusLine, false)) AddHeaderLine(headers, line);
    }
    return headers;
}

const std::string* FindHeader(const THeaderList& headers, std::string_view name) {
    for (const auto& [headerName, value] : headers) {
        if (text::EqualsIgnoreAsciiCase(headerName, name)) return &value;
    }
    return nullptr;
}

// The default bound of Windows' WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE.
constexpr std::size_t kMaxHeadChars = 64 * 1024;

// "HTTP/" and a version number, as in "HTTP/1.1".
bool IsHttpVersion(std::string_view version) {
    if (!version.starts_with("HTTP/") || version.size() == 5) return false;
    for (const char c : version.substr(5)) {
        if ((c < '0' || c > '9') && c != '.') return false;
    }
    return true;
}

std::string HostHeader(const TUrlParts& target) {
    std::string host = target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host;
    if (target.port != 0 && target.port != INTERNET_DEFAULT_HTTPS_PORT) host += ":" + std::to_string(target.port);
    return host;
}

// What the requests of one exchange share: its two deadlines.
struct ExchangeBounds {
    explicit ExchangeBounds(int timeout) : timeoutMs(timeout), deadlines(timeout) {}
    int timeoutMs;
    TExchangeDeadlines deadlines;
};

// The protocols the session asked for, so that a failed handshake can say what was asked.
enum class Protocols { tls12And13, tls12, systemDefault };

std::string SecureChannelReason(DWORD code, Protocols asked) {
    std::string reason = WinHttpReason(code);
    switch (asked) {
        case Protocols::tls12And13:
            return reason + " (pedidos TLS 1.2 e TLS 1.3: o servidor ou o proxy não aceitou nenhum deles)";
        case Protocols::tls12:
            return reason + " (pedido TLS 1.2, o sistema não oferece TLS 1.3: o servidor ou o proxy não "
                            "aceitou TLS 1.2)";
        case Protocols::systemDefault:
            return reason + " (o sistema não permite pedir TLS 1.2: sem ele o serviço de classificação "
                            "recusa a conexão; atualize o Windows para ter TLS 1.2 no WinHTTP)";
    }
    return reason;
}

// TLS 1.2 and 1.3 explicitly: Windows 7's WinHTTP offers only TLS 1.0 and 1.1 by default, and
// older systems refuse the TLS 1.3 flag, so each step down is tried in turn.
Protocols AskForTls(HINTERNET session) {
    DWORD both = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &both, sizeof both)) return Protocols::tls12And13;
    DWORD tls12 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    if (WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &tls12, sizeof tls12)) return Protocols::tls12;
    return Protocols::systemDefault;
}

// One request of the exchange, on the session's connection to the target's host.
class Request {
public:
    Request(HINTERNET session, const TUrlParts& target, ExchangeBounds& bounds, Protocols protocols)
        : bounds_(bounds),
          protocols_(protocols),
          connection_(WinHttpConnect(session, win::Widen(target.host).c_str(),
                                     static_cast<INTERNET_PORT>(target.port != 0 ? target.port : 443), 0)),
          request_(WinHttpOpenRequest(connection_.get(), L"GET", win::Widen(target.target).c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      WINHTTP_FLAG_SECURE | WINHTTP_FLAG_ESCAPE_DISABLE |
                                          WINHTTP_FLAG_ESCAPE_DISABLE_QUERY)) {
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state_.get());
        Call(WinHttpSetOption(request_.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context));
        if (WinHttpSetStatusCallback(request_.get(), &OnStatus,
                                     WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                     0) == WINHTTP_INVALID_STATUS_CALLBACK) {
            FailWith(GetLastError());
        }
        state_->Share();  // from now on the handle's closing reports to it
        // Redirects are followed by Transfer, to count them and refuse those to plain HTTP. No
        // connection is kept for later: Wine pools them across sessions.
        DWORD disabled = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE;
        Call(WinHttpSetOption(request_.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled));
        // Given here, in this order, WinHTTP adds no Host or User-Agent of its own.
        const std::wstring headers = win::Widen("Host: " + HostHeader(target) + "\r\nAccept: " + kAcceptHeader +
                                                "\r\nAccept-Charset: " + kAcceptCharsetHeader +
                                                "\r\nUser-Agent: " + kUserAgent + "\r\n");
        Call(WinHttpAddRequestHeaders(request_.get(), headers.c_str(), static_cast<DWORD>(-1L),
                                      WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE));
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // Sends the request and reads the answer's head; the body stays unread. Sending the
    // request resolves, connects, shakes hands and writes a few hundred bytes the socket takes
    // at once: its completion is where the connect phase ends.
    TRawAnswer ReceiveHead() {
        Await(WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                                 reinterpret_cast<DWORD_PTR>(state_.get())));
        bounds_.deadlines.HandshakeEnded();
        Await(WinHttpReceiveResponse(request_.get(), nullptr));
        headReceived_ = true;
        TRawAnswer answer;
        DWORD status = 0;
        DWORD size = sizeof status;
        Call(WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX));
        answer.statusCode = static_cast<int>(status);
        // WinHTTP hands back the proxy's answer to the tunnel's CONNECT as the request's own.
        if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
            throw ProxyRefusal("netsh winhttp show proxy; netsh winhttp set proxy ou import proxy source=ie");
        }
        const std::string version = QueryText(WINHTTP_QUERY_VERSION);
        // Windows refuses these answers by itself; Wine takes any word for the protocol and a
        // head of any size.
        if (!IsHttpVersion(version)) FailWith(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
        const std::wstring raw = QueryHeader(request_.get(), WINHTTP_QUERY_RAW_HEADERS).value_or(L"");
        if (raw.size() > kMaxHeadChars) FailWith(ERROR_WINHTTP_HEADER_SIZE_OVERFLOW);
        answer.statusLine = version + " " + std::to_string(status) + " " + QueryText(WINHTTP_QUERY_STATUS_TEXT);
        answer.headers = ParseRawHeaders(raw);
        // A declared length over the bound fails at once, before any of the body is waited for.
        const std::optional<std::size_t> declared = DeclaredLength(answer.headers);
        if (declared) CheckBodySize(*declared);
        // These answers carry no body whatever length they state.
        if (status != 204 && status != 304) declared_ = declared;
        return answer;
    }

    std::string ReadBody() {
        std::string body;
        while (true) {
            const DWORD available = Await(WinHttpQueryDataAvailable(request_.get(), nullptr));
            if (available == 0) break;
            CheckBodySize(body.size() + available);
            {
                const std::lock_guard lock(state_->mutex);
                state_->buffer.resize(available);
            }
            const DWORD read = Await(WinHttpReadData(request_.get(), state_->buffer.data(), available, nullptr));
            body.append(state_->buffer.data(), read);
            if (read == 0) break;
        }
        // The connection closed early: what arrived is not the answer that was announced.
        if (declared_ && body.size() < *declared_) {
            Fail("a conexão terminou após " + std::to_string(body.size()) + " de " +
                 std::to_string(*declared_) + " bytes da resposta");
        }
        return body;
    }

private:
    // Starts a step and waits for its completion until the deadline of the phase; gives the
    // bytes it reports. Past the deadline the request is closed, which ends the step on Windows;
    // Wine ends it only when its socket call returns, into the state that outlives us.
    DWORD Await(BOOL started) {
        std::unique_lock lock(state_->mutex);
        if (!started) {
            lock.unlock();
            Call(FALSE);
        }
        const bool completed = state_->changed.wait_until(lock, bounds_.deadlines.Deadline(),
                                                           [this] { return state_->completed; });
        const DWORD error = state_->error;
        const DWORD bytes = state_->bytes;
        state_->completed = false;
        state_->error = 0;
        lock.unlock();
        if (!completed) {
            request_.reset();
            Fail(TimeoutReason(bounds_.timeoutMs, headReceived_));
        }
        if (error != 0) {
            SetLastError(error);
            Call(FALSE);
        }
        return bytes;
    }

    // A failed call: WinHTTP's own timeout, or a failure past the deadline, is the phase's
    // timeout whatever WinHTTP reports.
    void Call(BOOL done) const {
        if (done) return;
        const DWORD code = AsWinHttpCode(GetLastError());
        if (code == ERROR_WINHTTP_TIMEOUT || bounds_.deadlines.Passed()) {
            Fail(TimeoutReason(bounds_.timeoutMs, headReceived_));
        }
        if (code == ERROR_WINHTTP_SECURE_CHANNEL_ERROR || code == ERROR_WINHTTP_SECURE_FAILURE) {
            Fail(SecureChannelReason(code, protocols_));
        }
        FailWith(code);
    }

    std::string QueryText(DWORD info) const { return win::Narrow(QueryHeader(request_.get(), info).value_or(L"")); }

    ExchangeBounds& bounds_;
    Protocols protocols_;
    SharedState state_;  // before the handles: released after they are closed
    InternetHandle connection_;
    OptionalHandle request_;
    bool headReceived_ = false;
    std::optional<std::size_t> declared_;
};

TUrlParts HttpsTarget(const std::string& address) {
    try {
        return SplitUrl(address);
    } catch (const Error& e) {
        Fail(e.what());
    }
}

}  // namespace

// The machine's Root store is what WinHTTP trusts; the settings name files of libcurl's kind.
PlatformHttpClient::PlatformHttpClient(THttpsTrust trust) : trust_(std::move(trust)) {}

TRawAnswer PlatformHttpClient::Transfer(const std::string& url, int timeoutMs) {
    ExchangeBounds bounds(timeoutMs);
    // A session of its own: no connection and no cookie outlives the exchange; a cookie set by
    // a redirect goes with the requests that follow it inside the exchange.
    const InternetHandle session(OpenSession());
    const Protocols protocols = AskForTls(session.get());

    std::string address = url;
    RequireHttps(address);
    int redirects = 0;
    while (true) {
        Request request(session.get(), HttpsTarget(address), bounds, protocols);
        TRawAnswer answer = request.ReceiveHead();
        const std::string* location = FindHeader(answer.headers, "Location");
        if (!IsRedirectStatus(answer.statusCode) || location == nullptr) {
            answer.body = request.ReadBody();
            return answer;
        }
        CountRedirect(redirects);
        address = ResolveLocation(address, *location);
        RequireHttpsRedirect(address);
    }
}

}  // namespace vr
