#include "service/ActivityLog.h"

#include <cstdio>
#include <utility>

#include "common/Error.h"
#include "platform/CodePage.h"

namespace vr {
namespace {

constexpr const char* kFileName = "VevoveRazara.log";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool IsNormalised(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') return false;  // a LF not taken with its CR below
        if (text[i] == '\r') {
            if (i + 1 == text.size() || text[i + 1] != '\n') return false;
            ++i;
        }
    }
    return text.empty() || text.ends_with("\r\n");
}

// The text's lines, each followed by CR LF: a line ends at CR LF, a lone CR or a lone LF, and a
// final line break does not make an empty last line.
std::string NormaliseLines(std::string&& text) {
    if (IsNormalised(text)) return std::move(text);  // the usual case, and files can be large
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    if (!out.empty() && !out.ends_with("\r\n")) out += "\r\n";
    return out;
}

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

}  // namespace

ActivityLog::ActivityLog(std::filesystem::path directory, RegionalSettings settings,
                         const Clock& clock)
    : path_(std::move(directory) / kFileName), settings_(std::move(settings)), clock_(clock) {
    // A code page the converter does not know would make every entry fail; UTF-8 at least keeps
    // the operators' text.
    if (!codepage::IsKnown(settings_.ansiCodePage)) settings_.ansiCodePage = "UTF-8";
}

std::string ActivityLog::Timestamp() const {
    LocalDateTime now = clock_.Now();
    char year[16];
    std::snprintf(year, sizeof year, "%04d", now.year);
    return TwoDigits(now.day) + settings_.dateSeparator + TwoDigits(now.month) +
           settings_.dateSeparator + year + " " + TwoDigits(now.hour) + settings_.timeSeparator +
           TwoDigits(now.minute) + settings_.timeSeparator + TwoDigits(now.second);
}

void ActivityLog::Append(std::string_view message) {
    // An empty line, then the entry's line; the message's own line breaks become CR LF now, as
    // the next full rewrite would make them.
    std::string entry = "\r\n" + Timestamp() + " - ";
    entry += message;
    entry += "\r\n";
    entry = NormaliseLines(std::move(entry));

    if (last_ && IsAsLastWritten()) {
        std::string bytes = codepage::FromUtf8(entry, last_->encoding.codePage);
        if (auto written = AppendToFile(path_, bytes, last_->identity)) {
            last_->identity = *written;
            return;
        }
    }
    // The log's first entry, or someone else changed the file: read it whole and rewrite it.
    Rewrite(entry);
}

bool ActivityLog::IsAsLastWritten() const {
    try {
        return IdentifyFile(path_) == last_->identity;
    } catch (const Error&) {
        return false;  // the full path reports what is wrong with the file
    }
}

void ActivityLog::Rewrite(const std::string& entry) {
    Encoding encoding{settings_.ansiCodePage, ""};
    std::optional<FileIdentity> found;
    std::string bytes;
    std::string text;
    try {
        found = IdentifyFile(path_);
        if (found) {
            bytes = ReadWholeFile(path_);
            for (auto [bom, codePage] : {std::pair{kUtf8Bom, "UTF-8"}, std::pair{kUtf16LeBom, "UTF-16LE"},
                                         std::pair{kUtf16BeBom, "UTF-16BE"}}) {
                if (std::string_view(bytes).starts_with(bom)) {
                    encoding = {codePage, std::string(bom)};
                    break;
                }
            }
            text = codepage::ToUtf8(std::string_view(bytes).substr(encoding.byteOrderMark.size()),
                                    encoding.codePage);
        }
    } catch (const Error& e) {
        AppendReadFailure(e.what());
        return;
    }
    // Lines of the old text first, then the entry; each part encoded alone, exactly as the
    // in-place append encodes an entry, so both ways give the same bytes.
    // Built in place, since the old text may run to hundreds of megabytes.
    std::string content = codepage::FromUtf8(NormaliseLines(std::move(text)), encoding.codePage);
    content.insert(0, encoding.byteOrderMark);
    const std::string entryBytes = codepage::FromUtf8(entry, encoding.codePage);
    last_.reset();
    // A file already in that form only needs the entry at its end. Appending also works where
    // replacing cannot: on Windows while a log viewer holds the file open.
    const bool unchanged = found && content == bytes;
    bytes = std::string();
    if (unchanged) {
        if (std::optional<FileIdentity> written = AppendToFile(path_, entryBytes, *found)) {
            last_ = LastWrite{*written, std::move(encoding)};
            return;
        }
    }
    content += entryBytes;
    FileIdentity written = ReplaceWholeFile(path_, content);
    last_ = LastWrite{written, std::move(encoding)};
}

void ActivityLog::AppendReadFailure(const std::string& reason) {
    // The earlier content must survive: the failure is appended, never written over it. Without
    // having read the file, the encoding is the last one seen, or the ANSI code page.
    std::string codePage = last_ ? last_->encoding.codePage : settings_.ansiCodePage;
    last_.reset();
    std::string line = NormaliseLines(Timestamp() + " - " + reason + "\r\n");
    AppendToFile(path_, codepage::FromUtf8(line, codePage));
}

}  // namespace vr
