// The message table inside VevoveRazara.exe, read the way a viewer reads it: the executable
// loaded as data, FormatMessageW with the identifier the entry was reported under.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/windows/EventMessages.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace {

class EventMessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(win::Widen(VR_SERVICE_EXE).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << VR_SERVICE_EXE << ": " << win::SystemMessage(GetLastError());
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    // The entry's text as the viewer shows it, or "" when the table has no such message.
    std::string Text(DWORD id, const std::vector<std::string>& inserts) const {
        std::vector<std::wstring> wide;
        for (const std::string& s : inserts) wide.push_back(win::Widen(s));
        std::vector<DWORD_PTR> args;
        for (const std::wstring& w : wide) args.push_back(reinterpret_cast<DWORD_PTR>(w.c_str()));
        wchar_t buffer[4096];
        const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                       module_, id, 0, buffer, 4096,
                                       reinterpret_cast<va_list*>(args.data()));
        return win::Narrow(std::wstring_view(buffer, n));
    }

    HMODULE module_ = nullptr;
};

// The host's entries: type error, identifier 0, the message the only string, shown as it is,
// percent signs and line breaks of the message included.
TEST_F(EventMessagesTest, EventZeroIsItsOneStringAsItIs) {
    EXPECT_EQ(VR_EVENT_TEXT, 0u);
    for (const std::string message :
         {"Service failed on start: acesso negado", "100% (%1) feito\r\nsegunda linha", ""}) {
        EXPECT_EQ(Text(0, {message}), message);
    }
}

// Every cycle identifier has its text, under the full identifier with its severity bits, and
// the details name the fields in the order the entries give them.
TEST_F(EventMessagesTest, TheCycleEventsCarryTheirFields) {
    const std::vector<std::string> fields = {"update cycle X; next cycle at T", "applied", "3", "1",
                                             "2", "4", "2026-12-10", "10800", "o motivo"};
    struct Case {
        DWORD id;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {VR_EVENT_UPDATE_APPLIED,
         {"Products written: 3", "Segments written: 1", "Writes refused: 2",
          "Consultations skipped: 4", "Last update: 2026-12-10", "Next cycle in seconds: 10800"}},
        {VR_EVENT_NOTHING_DUE, {"Last update: 2026-12-10", "Next cycle in seconds: 10800"}},
        {VR_EVENT_CYCLE_FAILED, {"Reason: o motivo", "Products written: 3", "Last update: 2026-12-10"}},
        {VR_EVENT_NOT_CONFIGURED, {"Next cycle in seconds: 10800"}},
    };
    for (const Case& c : cases) {
        const std::string text = Text(c.id, fields);
        EXPECT_EQ(text.rfind(fields[0] + "\r\n\r\n", 0), 0u) << std::hex << c.id << ": " << text;
        for (const std::string& line : c.expected) {
            EXPECT_NE(text.find(line), std::string::npos) << std::hex << c.id << ": " << text;
        }
        EXPECT_NE(text.back(), '\n') << text;
        EXPECT_EQ(Text(c.id & 0xFFFFu, fields), "") << "found without its severity bits: " << c.id;
    }
    EXPECT_EQ(VR_EVENT_UPDATE_APPLIED >> 30, 1u);  // informational
    EXPECT_EQ(VR_EVENT_CYCLE_FAILED >> 30, 2u);    // warning
}

}  // namespace
}  // namespace vr
