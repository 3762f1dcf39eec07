#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/Clock.h"
#include "common/RegionalSettings.h"
#include "platform/FileAccess.h"

namespace vr {

// The operators' activity log: VevoveRazara.log in the given directory, one timestamped entry
// per event.
//
// Every entry leaves the file as if it had been read whole, its lines rewritten with CR LF and
// the entry added. While the file is exactly as this object last left it, the entry is simply
// appended, which gives the same bytes at a cost that does not grow with the file. Not for use
// from several threads at once: all writers run on the main thread.
class ActivityLog {
public:
    ActivityLog(std::filesystem::path directory, RegionalSettings settings, const Clock& clock);

    // Appends one entry for message. Throws vr::Error when the file cannot be written.
    void Append(std::string_view message);

    const std::filesystem::path& path() const { return path_; }

private:
    // The encoding of the file's text: a code page and the byte-order mark that names it.
    struct Encoding {
        std::string codePage;
        std::string byteOrderMark;
    };
    // The file as this object last wrote it, so that its next entry can be appended in place.
    struct LastWrite {
        FileIdentity identity;
        Encoding encoding;
    };

    std::string Timestamp() const;
    bool IsAsLastWritten() const;
    void Rewrite(const std::string& entry);
    void AppendReadFailure(const std::string& reason);

    std::filesystem::path path_;
    RegionalSettings settings_;
    const Clock& clock_;
    std::optional<LastWrite> last_;
};

}  // namespace vr
