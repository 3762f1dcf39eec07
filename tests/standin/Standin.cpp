#include "tests/standin/Standin.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "common/Json.h"
#include "common/Text.h"

extern char** environ;

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
            << "}";
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

int RunAndWait(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    if (!std::filesystem::exists(options_.certDir / "ca.crt")) {
        std::filesystem::create_directories(options_.certDir.parent_path());
        if (RunAndWait({options_.python.string(), options_.program.string(), "certs",
                        options_.certDir.string()}) != 0 ||
            !std::filesystem::exists(options_.certDir / "ca.crt")) {
            throw std::runtime_error("stand-in: could not make the test certificates");
        }
    }

    std::random_device random;
    workDir_ = std::filesystem::temp_directory_path() /
               ("standin-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(workDir_);
    WriteScript();
    const std::filesystem::path portFile = workDir_ / "port.json";
    const std::string cert = (options_.certDir / "server.crt").string();
    const std::string key = (options_.certDir / "server.key").string();
    std::vector<std::string> args = {
        options_.python.string(), options_.program.string(), "serve", "--cert", cert, "--key", key,
        "--script", (workDir_ / "script.json").string(), "--record",
        (workDir_ / "record.jsonl").string(), "--port-file", portFile.string(),
        "--alt", "untrusted=" + (options_.certDir / "untrusted.crt").string() + "," +
                     (options_.certDir / "untrusted.key").string(),
        "--alt", "wronghost=" + (options_.certDir / "wronghost.crt").string() + "," +
                     (options_.certDir / "wronghost.key").string(),
        "--exit-with-parent"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The server must not hold the test's output open: a runner waits for it to close.
    const std::string log = (workDir_ / "server.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("stand-in: could not start " + options_.python.string());
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!std::filesystem::exists(portFile)) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("stand-in: the server ended at start: " + ReadFile(workDir_ / "server.log"));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("stand-in: the server did not start in time");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const vr::JsonDocument ports = vr::JsonDocument::Parse(ReadFile(portFile));
    port_ = IntMember(ports.root(), "port");
    silentPort_ = IntMember(ports.root(), "silent_port");
    const auto alt = ports.root().Find("alt");
    untrustedPort_ = IntMember(*alt, "untrusted");
    wrongHostPort_ = IntMember(*alt, "wronghost");
}

Server::~Server() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
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
