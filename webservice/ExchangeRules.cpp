#include "webservice/ExchangeRules.h"

#include <utility>

#include "common/Text.h"

namespace vr {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsHttps(std::string_view address) { return text::AsciiLower(address.substr(0, 8)) == "https://"; }

}  // namespace

bool IsRedirectStatus(int status) {
    return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void CountRedirect(int& redirects) {
    if (++redirects > kMaxRedirects) {
        throw TransportFailure("Maximum number of redirections (" + std::to_string(kMaxRedirects) + ") exceeded");
    }
}

void RequireHttps(std::string_view address) {
    if (!IsHttps(address)) throw TransportFailure("o endereço não é HTTPS: " + std::string(address));
}

void RequireHttpsRedirect(std::string_view location) {
    if (!IsHttps(location)) {
        throw TransportFailure("redirecionamento recusado para endereço que não é HTTPS: " + std::string(location));
    }
}

void AddHeaderLine(THeaderList& headers, std::string_view line) {
    if (line.empty()) return;
    if ((line.front() == ' ' || line.front() == '\t')) {
        if (headers.empty()) return;
        headers.back().second += ' ';
        headers.back().second += TrimBlanks(line);
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    headers.emplace_back(std::string(line.substr(0, colon)), std::string(TrimBlanks(line.substr(colon + 1))));
}

std::optional<std::size_t> DeclaredLength(const THeaderList& headers) {
    for (const auto& [name, value] : headers) {
        if (!text::EqualsIgnoreAsciiCase(name, "Content-Length")) continue;
        if (value.empty()) return std::nullopt;
        std::size_t length = 0;
        for (const char c : value) {
            if (c < '0' || c > '9') return std::nullopt;
            if (length > kMaxBodyBytes) return length;  // large enough to refuse; no overflow
            length = length * 10 + static_cast<std::size_t>(c - '0');
        }
        return length;
    }
    return std::nullopt;
}

bool DeclaresTooLarge(std::string_view contentLength) {
    const std::optional<std::size_t> length = DeclaredLength({{"Content-Length", std::string(TrimBlanks(contentLength))}});
    return length && *length > kMaxBodyBytes;
}

void CheckBodySize(std::size_t bytes) {
    if (bytes > kMaxBodyBytes) throw TransportFailure(TooLargeReason());
}

std::string TooLargeReason() {
    return "a resposta excede o limite de " + std::to_string(kMaxBodyBytes / (1024 * 1024)) + " MiB";
}

RestError TransportFailure(std::string_view reason) {
    return RestError(text::ToValidUtf8(std::string(kRestFailurePrefix) + std::string(reason)));
}

std::string TimeoutReason(int timeoutMs, bool answerBegun) {
    return "tempo limite de " + std::to_string(timeoutMs) + " ms esgotado " +
           (answerBegun ? "antes do fim da resposta" : "sem receber dados");
}

RestError ProxyRefusal(std::string_view whereToConfigure) {
    return TransportFailure(
        "o proxy recusou a conexão com o serviço de classificação (407 Proxy Authentication Required): o "
        "serviço não se autentica no proxy. Libere no proxy o acesso sem autenticação para a conta do "
        "serviço ou configure um proxy que a permita (" +
        std::string(whereToConfigure) + ")");
}

TExchangeDeadlines::TExchangeDeadlines(int timeoutMs)
    : timeout_(timeoutMs), deadline_(Clock::now() + timeout_) {}

void TExchangeDeadlines::HandshakeEnded() {
    if (std::exchange(answerPhase_, true)) return;
    deadline_ = Clock::now() + timeout_;
}

long TExchangeDeadlines::RemainingMs() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    return left > 0 ? static_cast<long>(left) : 1L;
}

}  // namespace vr
