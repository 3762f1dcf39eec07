#include "platform/ResultMessages.h"

#include <windows.h>

#include <iostream>
#include <string>
#include <utility>

#include "platform/windows/StandardOutput.h"
#include "platform/windows/WindowsText.h"

namespace vr {

bool win::OutputReachesAReader(HANDLE output) {
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetFileType(output) != FILE_TYPE_CHAR || !GetConsoleMode(output, &mode)) return true;
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) > 1;
}

namespace {

// One line per message: on a console through its UTF-16 interface, since the console's code
// page is seldom UTF-8; into a file or pipe as the UTF-8 bytes themselves.
class StandardOutputLines final : public ResultMessages {
public:
    explicit StandardOutputLines(HANDLE output) : output_(output) {}
    void Information(std::string_view text) override { Write(text); }
    void Failure(std::string_view text) override { Write(text); }

private:
    void Write(std::string_view text) {
        DWORD mode = 0;
        if (GetConsoleMode(output_, &mode)) {
            const std::wstring line = win::Widen(text) + L"\r\n";
            DWORD written = 0;
            if (WriteConsoleW(output_, line.data(), static_cast<DWORD>(line.size()), &written,
                              nullptr)) {
                return;
            }
        }
        std::cout << text << std::endl;
    }

    HANDLE output_;
};

// Each message in a box of its own with one OK button, waiting until it is closed.
class MessageBoxes final : public ResultMessages {
public:
    MessageBoxes(std::string title, HANDLE output) : title_(std::move(title)), fallback_(output) {}
    void Information(std::string_view text) override { Show(text, MB_ICONINFORMATION, false); }
    void Failure(std::string_view text) override { Show(text, MB_ICONERROR, true); }

private:
    void Show(std::string_view text, UINT icon, bool failure) {
        const UINT style = MB_OK | icon | MB_SETFOREGROUND;
        // A box with only OK returns IDOK however it is closed; anything else means it could
        // not be shown (no desktop), and standard output is the last place left.
        if (MessageBoxW(nullptr, win::Widen(text).c_str(), win::Widen(title_).c_str(), style) == IDOK) {
            return;
        }
        if (failure) {
            fallback_.Failure(text);
        } else {
            fallback_.Information(text);
        }
    }

    std::string title_;
    StandardOutputLines fallback_;
};

}  // namespace

std::unique_ptr<ResultMessages> OpenResultMessages(std::string_view title) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (win::OutputReachesAReader(output)) return std::make_unique<StandardOutputLines>(output);
    return std::make_unique<MessageBoxes>(std::string(title), output);
}

}  // namespace vr
