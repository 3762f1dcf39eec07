#include "tests/standin/Standin.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "common/Json.h"
#include "common/Text.h"
#include "tests/standin/StandinPlatform.h"

namespace vr::standin {

namespace {

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string ResponseJson(const Response& r) {
    std::ostringstream out;
    out << "{\"status\":" << r.status << ",\"reason\":" << JsonString(r.reason)
        << ",\"version\":" << JsonString(r.version) << ",\"headers\":[";
    for (std::size_t i = 0; i < r.headers.size(); ++i) {
        out << (i ? "," : "") << "[" << JsonString(r.headers[i].first) << ","
            << JsonString(r.headers[i].second) << "]";
    }
    out << "]";
    if (r.repeatCount > 0) {
        out << ",\"body_repeat\":{\"text\":" << JsonString(r.repeatText)
            << ",\"count\":" << r.repeatCount << "}";
    } else {
        out << ",\"body_base64\":\"" << Base64(r.body) << "\"";
    }
    out << ",\"content_length\":" << (r.contentLength ? "true" : "false")
        << ",\"delay_headers\":" << r.delayHeaders;
    if (r.stallAfter >= 0) {
        out << ",\"stall_after\":" << r.stallAfter << ",\"stall_seconds\":" << r.stallSeconds;
    }
    if (r.trickleChunk > 0) {
        out << ",\"trickle\":{\"chunk\":" << r.trickleChunk << ",\"interval\":" << r.trickleInterval
            << ",\"head\":" << (r.trickleHead ? "true" : "false") << "}";
    }
    out << ",\"hang\":" << (r.hang ? "true" : "false") << ",\"close\":" << (r.close ? "true" : "false")
        << "}";
    return out.str();
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFileAtomically(const std::filesystem::path& path, const std::string& content) {
    const std::filesystem::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out) throw std::runtime_error("stand-in: cannot write " + temporary.string());
    }
    std::filesystem::rename(temporary, path);
}

int IntMember(vr::JsonValue object, std::string_view name) {
    const auto member = object.Find(name);
    return member ? std::stoi(std::string(member->text())) : 0;
}

}  // namespace

std::string Latin1Bytes(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80 || i + 1 >= utf8.size()) {
            out += static_cast<char>(lead);
        } else {
            out += static_cast<char>(((lead & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            ++i;
        }
    }
    return out;
}

std::vector<std::string> Request::Header(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& [headerName, value] : headers) {
        if (vr::text::EqualsIgnoreAsciiCase(headerName, name)) values.push_back(value);
    }
    return values;
}

Server::Server(Options options) : options_(std::move(options)) {
    std::random_device random;
    workDir_ = std::filesystem::temp_directory_path() /
               ("standin-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(workDir_);

    const std::filesystem::path caFile = options_.certDir / "ca.crt";
    if (!std::filesystem::exists(caFile)) {
        std::filesystem::create_directories(options_.certDir.parent_path());
        const std::filesystem::path log = workDir_ / "certs.log";
        StandinProcess(options_.python, options_.program, {"certs", HostPath(options_.certDir)}, log).Wait();
        // The directory appears whole or not at all.
        if (!std::filesystem::exists(caFile)) {
            throw std::runtime_error("stand-in: could not make the test certificates: " + ReadFile(log));
        }
    }

    WriteScript();
    const std::filesystem::path portFile = workDir_ / "port.json";
    const auto certFile = [this](const std::string& name) { return HostPath(options_.certDir / name); };
    const std::vector<std::string> args = {
        "serve", "--cert", certFile("server.crt"), "--key", certFile("server.key"),
        "--script", HostPath(workDir_ / "script.json"), "--record", HostPath(workDir_ / "record.jsonl"),
        "--port-file", HostPath(portFile),
        "--alt", "untrusted=" + certFile("untrusted.crt") + "," + certFile("untrusted.key"),
        "--alt", "wronghost=" + certFile("wronghost.crt") + "," + certFile("wronghost.key"),
        "--exit-with-parent"};
    const std::filesystem::path log = workDir_ / "server.log";
    process_ = std::make_unique<StandinProcess>(options_.python, options_.program, args, log);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!std::filesystem::exists(portFile)) {
        if (process_->HasEnded()) {
            throw std::runtime_error("stand-in: the server ended at start: " + ReadFile(log));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("stand-in: the server did not start in time");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const vr::JsonDocument ports = vr::JsonDocument::Parse(ReadFile(portFile));
    port_ = IntMember(ports.root(), "port");
    silentPort_ = IntMember(ports.root(), "silent_port");
    slowHandshakePort_ = IntMember(ports.root(), "slow_handshake_port");
    proxyPort_ = IntMember(ports.root(), "proxy_port");
    const auto alt = ports.root().Find("alt");
    untrustedPort_ = IntMember(*alt, "untrusted");
    wrongHostPort_ = IntMember(*alt, "wronghost");
}

Server::~Server() {
    process_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(workDir_, ignored);
}

void Server::Route(const std::string& path, std::vector<Response> responses) {
    routes_[path] = std::move(responses);
    WriteScript();
}

void Server::ClearRoutes() {
    routes_.clear();
    WriteScript();
}

void Server::WriteScript() {
    std::ostringstream out;
    out << "{\"generation\":" << ++generation_ << ",\"routes\":{";
    bool first = true;
    for (const auto& [path, responses] : routes_) {
        out << (first ? "" : ",") << JsonString(path) << ":[";
        for (std::size_t i = 0; i < responses.size(); ++i) {
            out << (i ? "," : "") << ResponseJson(responses[i]);
        }
        out << "]";
        first = false;
    }
    out << "}}";
    WriteFileAtomically(workDir_ / "script.json", out.str());
}

std::vector<Request> Server::TakeRequests() {
    const std::string all = ReadFile(workDir_ / "record.jsonl");
    std::vector<Request> requests;
    std::size_t start = recordOffset_;
    while (start < all.size()) {
        const std::size_t end = all.find('\n', start);
        if (end == std::string::npos) break;  // a line still being written
        const vr::JsonDocument line = vr::JsonDocument::Parse(std::string_view(all).substr(start, end - start));
        const vr::JsonValue root = line.root();
        Request request;
        request.connection = IntMember(root, "conn");
        request.listener = std::string(root.Find("listener")->text());
        request.method = Latin1Bytes(root.Find("method")->text());
        request.target = Latin1Bytes(root.Find("target")->text());
        request.version = Latin1Bytes(root.Find("version")->text());
        const std::optional<vr::JsonValue> headers = root.Find("headers");
        for (const vr::JsonValue header : *headers) {
            auto it = header.begin();
            const std::string name = Latin1Bytes((*it).text());
            ++it;
            request.headers.emplace_back(name, Latin1Bytes((*it).text()));
        }
        requests.push_back(std::move(request));
        start = end + 1;
    }
    recordOffset_ = start;
    return requests;
}

}  // namespace vr::standin
