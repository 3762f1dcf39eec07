#include "webservice/PlatformHttpClient.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/Text.h"
#include "platform/windows/WindowsText.h"
#include "webservice/UrlParts.h"

namespace vr {

namespace {

[[noreturn]] void Fail(std::string_view reason) {
    throw RestError(text::ToValidUtf8(std::string(kRestFailurePrefix) + std::string(reason)));
}

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

void Check(BOOL done) {
    if (!done) FailWith(GetLastError());
}

void SetNumber(HINTERNET handle, DWORD option, DWORD value) {
    Check(WinHttpSetOption(handle, option, &value, sizeof value));
}

using SteadyClock = std::chrono::steady_clock;

// WinHTTP's timeouts bound each socket operation, not a phase: an answer that trickles in a
// byte at a time would never end. The phase of receiving the answer gets a deadline of its own
// instead, from the moment the request has gone out. Before each blocking call the receive
// timeouts are set to the time that remains, so no call outlasts the deadline, and after each
// call the deadline is checked, so a trickle ends at the first piece past it. The reads of the
// body come back with each piece; the head is read by one call, for which Windows counts its
// receive-response timeout over the whole head (Wine counts it per read, so under Wine a head
// that trickles in is bounded only byte by byte).
class PhaseDeadline {
public:
    explicit PhaseDeadline(int timeoutMs) : end_(SteadyClock::now() + std::chrono::milliseconds(timeoutMs)) {}

    // Bounds the next blocking call of the request by the time that remains.
    void BoundNextCall(HINTERNET request) const {
        const DWORD remaining = Remaining();
        SetNumber(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, remaining);
        SetNumber(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, remaining);
    }
    void Check() const { Remaining(); }

private:
    DWORD Remaining() const {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - SteadyClock::now()).count();
        if (left <= 0) FailWith(ERROR_WINHTTP_TIMEOUT);
        return static_cast<DWORD>(left);
    }

    SteadyClock::time_point end_;
};

// The platform's proxy settings: the automatic ones (Windows 8.1 on), else the configured ones.
HINTERNET OpenSession() {
    const std::wstring agent = win::Widen(kUserAgent);
    HINTERNET session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (session != nullptr) return session;
    return WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                       WINHTTP_NO_PROXY_BYPASS, 0);
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

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// WINHTTP_QUERY_RAW_HEADERS: the status line and each header line, each ended by a NUL.
THeaderList ParseRawHeaders(std::wstring_view raw) {
    THeaderList headers;
    bool statusLine = true;
    while (!raw.empty()) {
        const std::size_t end = std::min(raw.find(L'\0'), raw.size());
        const std::string line = win::Narrow(raw.substr(0, end));
        raw.remove_prefix(std::min(end + 1, raw.size()));
        if (std::exchange(statusLine, false) || line.empty()) continue;
        if ((line.front() == ' ' || line.front() == '\t') && !headers.empty()) {
            headers.back().second += ' ';
            headers.back().second += TrimSpaces(line);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string_view value = TrimSpaces(std::string_view(line).substr(colon + 1));
        headers.emplace_back(line.substr(0, colon), std::string(value));
    }
    return headers;
}

const std::string* FindHeader(const THeaderList& headers, std::string_view name) {
    for (const auto& [headerName, value] : headers) {
        if (text::EqualsIgnoreAsciiCase(headerName, name)) return &value;
    }
    return nullptr;
}

// The declared body length; nothing when absent or not a plain number.
std::optional<std::size_t> DeclaredLength(const THeaderList& headers) {
    const std::string* value = FindHeader(headers, "Content-Length");
    if (value == nullptr || value->empty()) return std::nullopt;
    std::size_t length = 0;
    for (const char c : *value) {
        if (c < '0' || c > '9') return std::nullopt;
        if (length > kMaxBodyBytes) return length;  // large enough to refuse; no overflow
        length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    return length;
}

[[noreturn]] void FailTooLarge() {
    Fail("a resposta excede o limite de " + std::to_string(kMaxBodyBytes / (1024 * 1024)) + " MiB");
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

bool IsRedirectStatus(int status) {
    return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string HostHeader(const TUrlParts& target) {
    std::string host = target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host;
    if (target.port != 0 && target.port != INTERNET_DEFAULT_HTTPS_PORT) host += ":" + std::to_string(target.port);
    return host;
}

// One request of the exchange, on the session's connection to the target's host.
class Request {
public:
    Request(HINTERNET session, const TUrlParts& target, int timeoutMs)
        : timeoutMs_(timeoutMs),
          connection_(WinHttpConnect(session, win::Widen(target.host).c_str(),
                                     static_cast<INTERNET_PORT>(target.port != 0 ? target.port : 443), 0)),
          request_(WinHttpOpenRequest(connection_.get(), L"GET", win::Widen(target.target).c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      WINHTTP_FLAG_SECURE | WINHTTP_FLAG_ESCAPE_DISABLE |
                                          WINHTTP_FLAG_ESCAPE_DISABLE_QUERY)) {
        // Redirects are followed by Transfer, to count them and refuse those to plain HTTP. No
        // connection is kept for later: Wine pools them across sessions.
        SetNumber(request_.get(), WINHTTP_OPTION_DISABLE_FEATURE,
                  WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE);
        // WinHttpSetTimeouts leaves out the wait for the answer's head (and Wine waits for the
        // TLS handshake with it too): bounded like any other phase.
        SetNumber(request_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, static_cast<DWORD>(timeoutMs));
        // Given here, in this order, WinHTTP adds no Host or User-Agent of its own.
        const std::wstring headers = win::Widen("Host: " + HostHeader(target) + "\r\nAccept: " + kAcceptHeader +
                                                "\r\nAccept-Charset: " + kAcceptCharsetHeader +
                                                "\r\nUser-Agent: " + kUserAgent + "\r\n");
        Check(WinHttpAddRequestHeaders(request_.get(), headers.c_str(), static_cast<DWORD>(-1L),
                                       WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE));
    }

    // Sends the request and reads the answer's head; the body stays unread. Resolving,
    // connecting, the handshake and sending are bounded by the session's timeouts; receiving
    // the answer, head and body, by one deadline.
    TRawAnswer ReceiveHead() {
        Check(WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                                 0));
        receiving_.emplace(timeoutMs_);
        receiving_->BoundNextCall(request_.get());
        Check(WinHttpReceiveResponse(request_.get(), nullptr));
        receiving_->Check();
        TRawAnswer answer;
        DWORD status = 0;
        DWORD size = sizeof status;
        Check(WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                  WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX));
        answer.statusCode = static_cast<int>(status);
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
        if (declared && *declared > kMaxBodyBytes) FailTooLarge();
        // These answers carry no body whatever length they state.
        if (status != 204 && status != 304) declared_ = declared;
        return answer;
    }

    std::string ReadBody() {
        std::string body;
        while (true) {
            DWORD available = 0;
            receiving_->BoundNextCall(request_.get());
            Check(WinHttpQueryDataAvailable(request_.get(), &available));
            receiving_->Check();
            if (available == 0) break;
            if (body.size() + available > kMaxBodyBytes) FailTooLarge();
            const std::size_t start = body.size();
            body.resize(start + available);
            DWORD read = 0;
            Check(WinHttpReadData(request_.get(), body.data() + start, available, &read));
            body.resize(start + read);
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
    std::string QueryText(DWORD info) const {
        return win::Narrow(QueryHeader(request_.get(), info).value_or(L""));
    }

    int timeoutMs_;
    InternetHandle connection_;
    InternetHandle request_;
    std::optional<std::size_t> declared_;
    std::optional<PhaseDeadline> receiving_;  // from the moment the request has gone out
};

TUrlParts HttpsTarget(const std::string& url, std::string_view refusal) {
    TUrlParts target;
    try {
        target = SplitUrl(url);
    } catch (const Error& e) {
        Fail(e.what());
    }
    if (target.scheme != "https") Fail(std::string(refusal) + url);
    return target;
}

}  // namespace

// The machine's Root store is what WinHTTP trusts; the settings name files of libcurl's kind.
PlatformHttpClient::PlatformHttpClient(THttpsTrust trust) : trust_(std::move(trust)) {}

TRawAnswer PlatformHttpClient::Transfer(const std::string& url, int timeoutMs) {
    // A session of its own: no connection and no cookie outlives the exchange; a cookie set by
    // a redirect goes with the requests that follow it inside the exchange.
    const InternetHandle session(OpenSession());
    Check(WinHttpSetTimeouts(session.get(), timeoutMs, timeoutMs, timeoutMs, timeoutMs));

    std::string address = url;
    TUrlParts target = HttpsTarget(address, "o endereço não é HTTPS: ");
    int redirects = 0;
    while (true) {
        Request request(session.get(), target, timeoutMs);
        TRawAnswer answer = request.ReceiveHead();
        const std::string* location = FindHeader(answer.headers, "Location");
        if (!IsRedirectStatus(answer.statusCode) || location == nullptr) {
            answer.body = request.ReadBody();
            return answer;
        }
        if (++redirects > kMaxRedirects) {
            Fail("Maximum number of redirections (" + std::to_string(kMaxRedirects) + ") exceeded");
        }
        address = ResolveLocation(address, *location);
        target = HttpsTarget(address, "redirecionamento recusado para endereço que não é HTTPS: ");
    }
}

}  // namespace vr
