#include "platform/windows/WindowsText.h"

#include <climits>
#include <cstdio>

#include "common/Error.h"

namespace vr::win {
namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw Error("Texto longo demais para conversão");
    return static_cast<int>(size);
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    int length = CheckedLength(utf8.size());
    // Without MB_ERR_INVALID_CHARS, invalid sequences come out as U+FFFD instead of failing.
    int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (needed <= 0) throw Error("Falha na conversão de texto: " + SystemMessage(GetLastError()));
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), needed);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    int length = CheckedLength(utf16.size());
    int needed = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) throw Error("Falha na conversão de texto: " + SystemMessage(GetLastError()));
    std::string out(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, out.data(), needed, nullptr, nullptr);
    return out;
}

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length > 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        char fallback[32];
        std::snprintf(fallback, sizeof fallback, "erro 0x%08lX", static_cast<unsigned long>(code));
        return fallback;
    }
    return Narrow(text);
}

std::string SystemReason(DWORD code) {
    std::string text = SystemMessage(code);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

}  // namespace vr::win
