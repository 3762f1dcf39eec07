#pragma once

// Another program's handle on a file (a log viewer, an editor), held for the object's life, to
// test what Windows allows while a file is open elsewhere.

#include <windows.h>

#include <filesystem>
#include <string>

namespace vr::test {

class OtherHandle {
public:
    OtherHandle(const std::filesystem::path& path, DWORD access, DWORD share)
        : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr)) {}
    ~OtherHandle() {
        if (valid()) CloseHandle(handle_);
    }
    OtherHandle(const OtherHandle&) = delete;
    OtherHandle& operator=(const OtherHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // What the other program sees of the file: everything from the start (up to 4 KiB).
    std::string ReadFromStart() {
        SetFilePointerEx(handle_, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
        std::string content(4096, '\0');
        DWORD read = 0;
        if (!ReadFile(handle_, content.data(), static_cast<DWORD>(content.size()), &read, nullptr)) return "<error>";
        content.resize(read);
        return content;
    }

private:
    HANDLE handle_;
};

}  // namespace vr::test
