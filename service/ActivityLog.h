#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/Clock.h"
#include "common/Error.h"
#include "common/RegionalSettings.h"
#include "platform/FileAccess.h"

namespace vr {

// The log could not be written. Carries, besides the reason, the message of the entry that was
// lost, so that whoever reports the failure elsewhere (the system log) reports that message too.
class ActivityLogWriteError : public Error {
public:
    ActivityLogWriteError(const std::string& reason, std::string_view unwritten);
    const std::string& reason() const { return reason_; }
    const std::string& unwritten() const { return unwritten_; }

private:
    std::string reason_;
    std::string unwritten_;
};

// The operators' activity log: VevoveRazara.log in the given directory, one timestamped entry
// per event.
//
// Every entry leaves the file as if it had been read whole, its lines rewritten with CR LF and
// the entry added. The earlier content is never converted: its bytes stay as they are, line
// breaks aside, and the entry is written in the file's own encoding, which the file tells: its
// byte-order mark; without one, UTF-8 when it is valid UTF-8 beyond ASCII; else the 8-bit code
// page. A file of ASCII alone, an empty one and a new one take the ANSI code page.
//
// The file is read and rewritten in pieces, so memory does not grow with it, and only rewritten
// when its line breaks are not yet CR LF. While the file is exactly as this object last left it,
// the entry is simply appended, at a cost that does not grow with the file. Not for use from
// several threads at once: all writers run on the main thread.
class ActivityLog {
public:
    ActivityLog(std::filesystem::path directory, RegionalSettings settings, const Clock& clock);

    // Appends one entry for message. Throws ActivityLogWriteError when the file cannot be
    // written.
    void Append(std::string_view message);
    // True when the last entry could not be written.
    bool logEntryLost() const { return logEntryLost_; }

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

    void AppendEntry(std::string_view message);
    std::string Timestamp() const;
    bool IsAsLastWritten() const;
    // What one pass over an existing file found: how its text is encoded, whether its line
    // breaks are the log's already, and whether it changed while it was read.
    struct Examination {
        Encoding encoding;
        std::size_t unit;  // bytes per code unit
        bool bigEndian;
        bool normalised;
        bool changed;
        FileIdentity identity;
    };

    // Writes the entry to a file this object did not write last: decides the file's encoding
    // (Examine), then appends or rewrites it with CR LF line breaks (Rewrite).
    void TakeOver(const std::string& entry);
    Examination Examine(std::string& buffer) const;
    bool Rewrite(const Examination& found, const std::string& entryBytes, std::string& buffer,
                 bool lastAttempt);
    void AppendReadFailure(const std::string& reason);
    std::string Encode(std::string_view text, const Encoding& encoding) const;

    std::filesystem::path path_;
    RegionalSettings settings_;
    const Clock& clock_;
    std::optional<LastWrite> last_;
    bool logEntryLost_ = false;
};

}  // namespace vr
