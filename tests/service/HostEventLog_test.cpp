#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/linux/JournalEventLog.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

// Without a journal to write to, entries must still reach someone: standard error.
TEST(HostEventLog, EntriesGoToTheFallbackWithoutAJournal) {
    test::TempDir temp;
    std::ostringstream fallback;
    JournalEventLog log(fallback, temp.path() / "journal-socket");
    log.ReportError("SrvVevoveRazara", "Service failed on execute: banco indisponível");
    log.ReportError("VevoveRazara", "linha 1\nlinha 2 com 100%s");
    EXPECT_EQ(fallback.str(),
              "SrvVevoveRazara: Service failed on execute: banco indisponível\n"
              "VevoveRazara: linha 1\nlinha 2 com 100%s\n");
}

}  // namespace
}  // namespace vr
