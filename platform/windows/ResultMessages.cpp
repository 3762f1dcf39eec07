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

// Each message in a box of its own with one OK button, waiting until it is closed.
class MessageBoxes final : public ResultMessages {
public:
    explicit MessageBoxes(std::string title) : title_(std::move(title)) {}
    void Information(std::string_view text) override { Show(text, MB_ICONINFORMATION); }
    void Failure(std::string_view text) override { Show(text, MB_ICONERROR); }

private:
    void Show(std::string_view text, UINT icon) {
        const UINT style = MB_OK | icon | MB_SETFOREGROUND;
        if (MessageBoxW(nullptr, win::Widen(text).c_str(), win::Widen(title_).c_str(), style) == 0) {
            // No desktop to show it on: standard output is the last place left.
            std::cout << text << std::endl;
        }
    }

    std::string title_;
};

}  // namespace

std::unique_ptr<ResultMessages> OpenResultMessages(std::string_view title) {
    if (win::OutputReachesAReader(GetStdHandle(STD_OUTPUT_HANDLE))) {
        return std::make_unique<StreamResultMessages>(std::cout);
    }
    return std::make_unique<MessageBoxes>(std::string(title));
}

}  // namespace vr
