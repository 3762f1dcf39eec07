#include "tests/standin/StandinPlatform.h"

#include <winsock2.h>  // before windows.h, which would bring the older winsock.h otherwise
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/windows/WindowsText.h"

namespace vr::standin {

namespace {

using namespace std::chrono_literals;

void StartWinsock() {
    [[maybe_unused]] static const bool started = [] {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("stand-in: WSAStartup failed");
        return true;
    }();
}

// Quoted the way the C runtime (and Wine, for a host program) splits a command line again.
std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    for (auto it = arg.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != arg.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            out.append(backslashes * 2, L'\\');
            break;
        }
        out.append(*it == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        out.push_back(*it);
    }
    out.push_back(L'"');
    return out;
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

Handle OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("stand-in: cannot open " + win::Narrow(path) + ": " +
                                 win::SystemMessage(GetLastError()));
    }
    return Handle(handle);
}

// True when the socket turned readable within the time.
bool WaitReadable(SOCKET socket, std::chrono::milliseconds timeout) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval limit{static_cast<long>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000 * 1000)};
    return select(0, &set, nullptr, nullptr, &limit) > 0;
}

SOCKET ListenOnLoopback() {
    SOCKET listener = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (listener == INVALID_SOCKET) throw std::runtime_error("stand-in: socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0) {
        closesocket(listener);
        throw std::runtime_error("stand-in: cannot listen on 127.0.0.1");
    }
    return listener;
}

int PortOf(SOCKET socket) {
    sockaddr_in address{};
    int length = sizeof address;
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

std::string ReadText(const std::filesystem::path& log) {
    std::ifstream in(log, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

// Under Wine, CreateProcessW runs a host program but hands back no process handle to wait on or
// end it by. So the program connects back to a socket of ours (--lifeline): closing our end
// tells it to stop, and its end closing tells us it has ended, whatever the way.
struct StandinProcess::State {
    SOCKET lifeline = INVALID_SOCKET;

    void Close() {
        if (lifeline != INVALID_SOCKET) closesocket(lifeline);
        lifeline = INVALID_SOCKET;
    }
};

StandinProcess::StandinProcess(const std::filesystem::path& python, const std::filesystem::path& program,
                               const std::vector<std::string>& args, const std::filesystem::path& log)
    : state_(std::make_unique<State>()) {
    StartWinsock();
    const SOCKET listener = ListenOnLoopback();
    std::wstring commandLine = QuoteArgument(python.lexically_normal().make_preferred().wstring()) + L" " +
                               QuoteArgument(win::Widen(HostPath(program))) + L" --lifeline " +
                               std::to_wstring(PortOf(listener));
    for (const std::string& arg : args) commandLine += L" " + QuoteArgument(win::Widen(arg));

    // Output and errors through handles of their own: the same handle twice reaches a host
    // program as its standard output only.
    const Handle input = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const Handle output = OpenInheritable(log.wstring(), FILE_APPEND_DATA, CREATE_ALWAYS);
    const Handle errors = OpenInheritable(log.wstring(), FILE_APPEND_DATA, OPEN_EXISTING);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = errors.get();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
        const DWORD error = GetLastError();
        closesocket(listener);
        throw std::runtime_error("stand-in: could not start " + python.string() + ": " +
                                 win::SystemMessage(error));
    }
    if (started.hProcess != nullptr) CloseHandle(started.hProcess);
    if (started.hThread != nullptr) CloseHandle(started.hThread);

    if (WaitReadable(listener, 30s)) state_->lifeline = accept(listener, nullptr, nullptr);
    closesocket(listener);
    if (state_->lifeline == INVALID_SOCKET) {
        throw std::runtime_error("stand-in: " + python.string() + " did not start: " + ReadText(log));
    }
}

StandinProcess::~StandinProcess() {
    if (state_->lifeline == INVALID_SOCKET) return;
    shutdown(state_->lifeline, SD_SEND);
    Wait();
}

bool StandinProcess::HasEnded() {
    if (state_->lifeline == INVALID_SOCKET) return true;
    if (!WaitReadable(state_->lifeline, 0s)) return false;
    char byte = 0;
    if (recv(state_->lifeline, &byte, 1, MSG_PEEK) > 0) return false;
    state_->Close();
    return true;
}

void StandinProcess::Wait() {
    // The program never writes to the lifeline: readable means closed. Bounded all the same,
    // so that a wedged program cannot hold the tests forever.
    if (state_->lifeline == INVALID_SOCKET) return;
    WaitReadable(state_->lifeline, 60s);
    state_->Close();
}

// Wine exports the mapping of its drives onto the host's file system; on Windows proper the
// host is Windows itself and the path stays as it is.
std::string HostPath(const std::filesystem::path& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    static const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<std::uintptr_t>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    const std::wstring absolute = std::filesystem::absolute(path).lexically_normal().make_preferred().wstring();
    if (toUnix == nullptr) return win::Narrow(absolute);
    char* unix = toUnix(absolute.c_str());
    if (unix == nullptr) throw std::runtime_error("stand-in: no host path for " + win::Narrow(absolute));
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

void SetVariable(const std::string& name, const std::string& value) { _putenv_s(name.c_str(), value.c_str()); }

void UnsetVariable(const std::string& name) { _putenv_s(name.c_str(), ""); }

// WinHTTP trusts what the machine's Root store holds: the test CA goes in for the tests and out
// again at their end. (Wine reports the removal done but keeps the entry in its registry; its
// prefix is the build tree's own.)
namespace {

std::string CertificateDer(const std::filesystem::path& caFile) {
    const std::string pem = ReadText(caFile);
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr)) {
        throw std::runtime_error("stand-in: no certificate in " + caFile.string());
    }
    std::string der(size, '\0');
    CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                         reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr);
    der.resize(size);
    return der;
}

HCERTSTORE OpenMachineRoot() {
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (root == nullptr) {
        throw std::runtime_error("stand-in: cannot open the Root store: " + win::SystemMessage(GetLastError()));
    }
    return root;
}

}  // namespace

void TrustTestCa(const std::filesystem::path& caFile) {
    std::string der = CertificateDer(caFile);
    HCERTSTORE root = OpenMachineRoot();
    const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<BYTE*>(der.data()),
                                                        static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING,
                                                        nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(root, 0);
    if (!added) throw std::runtime_error("stand-in: cannot trust the test CA: " + win::SystemMessage(error));
}

void DistrustTestCa(const std::filesystem::path& caFile) {
    std::string der = CertificateDer(caFile);
    PCCERT_CONTEXT certificate = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<BYTE*>(der.data()), static_cast<DWORD>(der.size()));
    if (certificate == nullptr) return;
    HCERTSTORE root = OpenMachineRoot();
    // Deleting frees the found context; the one made from the file is freed here.
    if (PCCERT_CONTEXT found = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                          certificate, nullptr)) {
        CertDeleteCertificateFromStore(found);
    }
    CertFreeCertificateContext(certificate);
    CertCloseStore(root, 0);
}

namespace {

void SetDefaultProxy(DWORD accessType, const std::wstring& proxy) {
    WINHTTP_PROXY_INFO info = {};
    info.dwAccessType = accessType;
    std::wstring name = proxy;
    info.lpszProxy = name.empty() ? nullptr : name.data();
    if (!WinHttpSetDefaultProxyConfiguration(&info)) {
        throw std::runtime_error("stand-in: WinHttpSetDefaultProxyConfiguration failed: " +
                                 std::to_string(GetLastError()));
    }
}

}  // namespace

void UseProxy(int port) {
    SetDefaultProxy(WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"127.0.0.1:" + std::to_wstring(port));
}

void UseNoProxy() { SetDefaultProxy(WINHTTP_ACCESS_TYPE_NO_PROXY, L""); }

}  // namespace vr::standin
