// Where results go on Windows: lines on standard output when someone can read them there, a
// message box otherwise. These are the handles the program can find as its standard output.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/windows/StandardOutput.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

HANDLE OpenForWriting(const wchar_t* name, DWORD creation) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Redirected by a script or another program, and the missing handle of a program started
// without any.
TEST(HostWindowsResultMessages, RedirectedOrMissingOutput) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    const Handle pipeRead(readEnd);
    const Handle pipeWrite(writeEnd);
    test::TempDir temp;
    const Handle file(OpenForWriting((temp.path() / "saida.txt").wstring().c_str(), CREATE_ALWAYS));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
    const Handle nul(OpenForWriting(L"NUL", OPEN_EXISTING));
    ASSERT_NE(nul.get(), INVALID_HANDLE_VALUE);

    EXPECT_TRUE(win::OutputReachesAReader(pipeWrite.get()));
    EXPECT_TRUE(win::OutputReachesAReader(file.get()));
    EXPECT_TRUE(win::OutputReachesAReader(nul.get()));
    EXPECT_FALSE(win::OutputReachesAReader(nullptr));
    EXPECT_FALSE(win::OutputReachesAReader(INVALID_HANDLE_VALUE));
}

// A console made for this process alone, as for a program started from Explorer, reaches
// nobody; once a command prompt shares it, it does.
TEST(HostWindowsResultMessages, ConsoleOfItsOwnOrShared) {
    DWORD mode = 0;
    std::optional<Handle> console;
    const auto openConsole = [&] {
        console.emplace(OpenForWriting(L"CONOUT$", OPEN_EXISTING));
        return console->get() != INVALID_HANDLE_VALUE && GetConsoleMode(console->get(), &mode);
    };
    // The test runner's own console when it has one that no other process shares, else a
    // new one.
    DWORD processes[4];
    bool allocated = false;
    if (GetConsoleProcessList(processes, 4) != 1 || !openConsole()) {
        console.reset();
        FreeConsole();
        ASSERT_TRUE(AllocConsole()) << GetLastError();
        allocated = true;
        if (!openConsole()) {
            // Wine without a display makes a console that answers no console call.
            FreeConsole();
            GTEST_SKIP() << "no usable console here: " << GetLastError();
        }
    }
    struct ConsoleEnd {
        bool allocated;
        ~ConsoleEnd() {
            if (allocated) FreeConsole();
        }
    } consoleEnd{allocated};
    EXPECT_FALSE(win::OutputReachesAReader(console->get()));

    // A command prompt on the same console, waiting for a key that never comes.
    wchar_t commandLine[] = L"cmd.exe /c pause";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << GetLastError();
    const Handle processHandle(process.hProcess);
    const Handle threadHandle(process.hThread);
    struct Ender {
        HANDLE process;
        ~Ender() {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
        }
    } ender{process.hProcess};
    bool shared = false;
    for (int i = 0; i < 500 && !shared; ++i) {
        shared = GetConsoleProcessList(processes, 4) > 1;
        if (!shared) Sleep(10);
    }
    ASSERT_TRUE(shared) << "the command prompt never attached to the console";
    EXPECT_TRUE(win::OutputReachesAReader(console->get()));
}

}  // namespace
}  // namespace vr
