#include "webservice/PlatformHttpClient.h"

#include <chrono>
#include <string>
#include <string_view>
#include <utility>

#include <curl/curl.h>

#include "common/Text.h"
#include "webservice/ExchangeRules.h"

namespace vr {

namespace {

// curl_global_init is not safe to run beside other threads using libcurl, so it runs once,
// before the first handle; the cleanup runs when the process ends.
class CurlGlobal {
public:
    CurlGlobal() {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            throw Error("Não foi possível iniciar a biblioteca HTTPS (libcurl)");
        }
    }
    ~CurlGlobal() { curl_global_cleanup(); }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

void EnsureCurlGlobal() { static const CurlGlobal global; }

class EasyHandle {
public:
    EasyHandle() : handle_(curl_easy_init()) {
        if (handle_ == nullptr) throw RestError(std::string(kRestFailurePrefix) + "curl_easy_init falhou");
    }
    ~EasyHandle() { curl_easy_cleanup(handle_); }
    EasyHandle(const EasyHandle&) = delete;
    EasyHandle& operator=(const EasyHandle&) = delete;
    CURL* get() const { return handle_; }

private:
    CURL* handle_;
};

class HeaderList {
public:
    HeaderList() = default;
    ~HeaderList() { curl_slist_free_all(list_); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    void Append(const std::string& line) {
        curl_slist* grown = curl_slist_append(list_, line.c_str());
        if (grown == nullptr) throw RestError(std::string(kRestFailurePrefix) + "sem memória");
        list_ = grown;
    }
    curl_slist* get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

// What the callbacks of one request fill in.
struct RequestState {
    explicit RequestState(int timeoutMs) : deadlines(timeoutMs) {}
    // Once the first connection stands (TLS handshake done), before the request goes out,
    // sending the request and receiving the whole answer, redirects included, must end by the
    // answer's deadline.
    TExchangeDeadlines deadlines;
    bool timedOut = false;
    bool tooLarge = false;
    std::size_t received = 0;  // bytes of the answer, head and body
    TRawAnswer answer;
};

std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

std::size_t OnHeader(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& state = *static_cast<RequestState*>(user);
    const std::size_t bytes = size * count;
    state.received += bytes;
    const std::string_view line = TrimLine(std::string_view(buffer, bytes));
    if (line.starts_with("HTTP/")) {
        // A new status line starts a new answer (an interim 1xx answer is forgotten).
        state.answer.statusLine = std::string(line);
        state.answer.headers.clear();
        state.answer.body.clear();
        return bytes;
    }
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && text::EqualsIgnoreAsciiCase(line.substr(0, colon), "Content-Length") &&
        DeclaresTooLarge(line.substr(colon + 1))) {
        state.tooLarge = true;
        return 0;
    }
    AddHeaderLine(state.answer.headers, line);
    return bytes;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& state = *static_cast<RequestState*>(user);
    const std::size_t bytes = size * count;
    state.received += bytes;
    if (state.answer.body.size() + bytes > kMaxBodyBytes) {
        state.tooLarge = true;
        return 0;
    }
    state.answer.body.append(data, bytes);
    return bytes;
}

// Called once the connection stands, TLS handshake included, before the request goes out.
// Resolving, connecting and the handshake are bounded by CURLOPT_CONNECTTIMEOUT_MS; what
// follows is bounded here, as a whole: an answer that trickles in is cut like one that stalls.
// The request is a few hundred bytes that the socket takes at once, so the deadline is in
// effect the bound of receiving the answer.
int OnConnected(void* user, char*, char*, int, int) {
    static_cast<RequestState*>(user)->deadlines.HandshakeEnded();
    return CURL_PREREQFUNC_OK;
}

// libcurl calls this at least once a second while the transfer runs, and after every piece
// that arrives, so the cut comes at most about a second after the deadline. libcurl's own
// whole-transfer limit (CURLOPT_TIMEOUT_MS) would also count the connect phase, which has a
// bound of its own.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& state = *static_cast<RequestState*>(user);
    if (state.deadlines.AnswerPhase() && state.deadlines.Passed()) {
        state.timedOut = true;
        return 1;
    }
    return 0;
}

template <typename T>
void SetOption(CURL* handle, CURLoption option, T value) {
    const CURLcode code = curl_easy_setopt(handle, option, value);
    if (code != CURLE_OK) {
        throw RestError(std::string(kRestFailurePrefix) + curl_easy_strerror(code));
    }
}

// The platform's trust store, plus what the settings add. libcurl loads both its CA file and
// its CA directory: an extra bundle takes the file's place while the system's directory stays,
// and an extra directory is searched before the system's one (OpenSSL takes a list of
// directories separated by ':'), while the system's file stays unless a bundle replaces it.
void SetTrustStore(CURL* handle, const THttpsTrust& trust) {
    if (trust.caFile.empty() && trust.caDirectory.empty()) return;
    char* defaultPath = nullptr;
    curl_easy_getinfo(handle, CURLINFO_CAPATH, &defaultPath);
    const std::string systemDirectory = defaultPath != nullptr ? defaultPath : "/etc/ssl/certs";
    if (!trust.caFile.empty()) SetOption(handle, CURLOPT_CAINFO, trust.caFile.c_str());
    const std::string directories =
        trust.caDirectory.empty() ? systemDirectory : trust.caDirectory + ":" + systemDirectory;
    SetOption(handle, CURLOPT_CAPATH, directories.c_str());
}

RestError Failure(CURL* handle, CURLcode code, const RequestState& state, const char* errorBuffer,
                  int timeoutMs) {
    // A redirect's connect phase ends at the answer's deadline, which libcurl calls a connect
    // timeout.
    if (state.timedOut || (state.deadlines.AnswerPhase() && state.deadlines.Passed())) {
        return TransportFailure(TimeoutReason(timeoutMs, state.received != 0));
    }
    if (state.tooLarge) return TransportFailure(TooLargeReason());
    long connectStatus = 0;
    curl_easy_getinfo(handle, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    if (connectStatus == 407) return ProxyRefusal("https_proxy em /etc/default/vevoverazara");
    return TransportFailure(errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code));
}

}  // namespace

PlatformHttpClient::PlatformHttpClient(THttpsTrust trust) : trust_(std::move(trust)) { EnsureCurlGlobal(); }

TRawAnswer PlatformHttpClient::Transfer(const std::string& url, int timeoutMs) {
    EnsureCurlGlobal();
    EasyHandle easy;
    CURL* const handle = easy.get();
    HeaderList headers;
    headers.Append(std::string("Accept: ") + kAcceptHeader);
    headers.Append(std::string("Accept-Charset: ") + kAcceptCharsetHeader);
    headers.Append(std::string("User-Agent: ") + kUserAgent);

    char errorBuffer[CURL_ERROR_SIZE] = {};
    RequestState state(timeoutMs);

    SetOption(handle, CURLOPT_NOSIGNAL, 1L);  // several threads: no SIGALRM for name lookups
    SetOption(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    SetOption(handle, CURLOPT_HTTPGET, 1L);
    SetOption(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    SetOption(handle, CURLOPT_PROTOCOLS_STR, "https");
    SetOption(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    SetOption(handle, CURLOPT_FOLLOWLOCATION, 0L);  // followed below, to count and check them
    SetOption(handle, CURLOPT_PATH_AS_IS, 1L);       // the path goes out exactly as encoded
    SetOption(handle, CURLOPT_HTTPHEADER, headers.get());
    SetOption(handle, CURLOPT_COOKIEFILE, "");  // in memory only: lives and dies with the handle
    SetOption(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    SetOption(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
    SetOption(handle, CURLOPT_HEADERDATA, &state);
    SetOption(handle, CURLOPT_WRITEFUNCTION, &OnBody);
    SetOption(handle, CURLOPT_WRITEDATA, &state);
    SetOption(handle, CURLOPT_PREREQFUNCTION, &OnConnected);
    SetOption(handle, CURLOPT_PREREQDATA, &state);
    SetOption(handle, CURLOPT_NOPROGRESS, 0L);
    SetOption(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    SetOption(handle, CURLOPT_XFERINFODATA, &state);
    SetTrustStore(handle, trust_);

    std::string target = url;
    int redirects = 0;
    while (true) {
        state.received = 0;
        state.answer = TRawAnswer{};
        errorBuffer[0] = '\0';
        SetOption(handle, CURLOPT_URL, target.c_str());
        SetOption(handle, CURLOPT_CONNECTTIMEOUT_MS, state.deadlines.RemainingMs());

        const CURLcode code = curl_easy_perform(handle);
        if (code != CURLE_OK) throw Failure(handle, code, state, errorBuffer, timeoutMs);

        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        state.answer.statusCode = static_cast<int>(status);

        char* location = nullptr;
        curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location);
        if (!IsRedirectStatus(status) || location == nullptr) return std::move(state.answer);

        CountRedirect(redirects);
        RequireHttpsRedirect(location);
        target = location;
    }
}

}  // namespace vr
