#include "service/ActivityLog.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "common/Date.h"
#include "common/Error.h"
#include "common/LineBreaks.h"
#include "common/Text.h"
#include "platform/CodePage.h"

namespace vr {
namespace {

constexpr const char* kFileName = "VevoveRazara.log";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

// The file is read and rewritten in pieces of this size: memory stays flat whatever its size.
constexpr std::size_t kPiece = std::size_t{1} << 20;

bool IsUtf8Name(const std::string& codePage) {
    return text::EqualsIgnoreAsciiCase(codePage, "UTF-8") || text::EqualsIgnoreAsciiCase(codePage, "UTF8");
}

bool IsWindows1252Name(const std::string& codePage) {
    return text::EqualsIgnoreAsciiCase(codePage, "WINDOWS-1252") || text::EqualsIgnoreAsciiCase(codePage, "CP1252");
}

// The text's lines, each followed by CR LF: a line ends at CR LF, a lone CR or a lone LF, and a
// final line break does not make an empty last line.
std::string NormaliseLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    LineBreaks breaks(1, false);
    breaks.Feed(text, &out);
    breaks.Finish(&out);
    return out;
}

// Whether a text fed in pieces is valid UTF-8, and whether it holds anything beyond ASCII.
class Utf8Check {
public:
    void Feed(std::string_view bytes) {
        if (!valid_) return;
        std::size_t pos = 0;
        if (!carry_.empty()) {
            // Completes the sequence the last piece cut.
            while (carry_.size() < Length(carry_[0]) && pos < bytes.size()) carry_ += bytes[pos++];
            if (carry_.size() < Length(carry_[0])) return;
            if (!text::IsValidUtf8(carry_)) valid_ = false;
            carry_.clear();
        }
        while (valid_ && pos < bytes.size()) {
            // ASCII eight bytes at a time: most of a log is.
            std::uint64_t word = 0;
            if (pos + sizeof word <= bytes.size()) {
                std::memcpy(&word, bytes.data() + pos, sizeof word);
                if ((word & 0x8080808080808080u) == 0) {
                    pos += sizeof word;
                    continue;
                }
            }
            const auto b = static_cast<unsigned char>(bytes[pos]);
            if (b < 0x80) {
                ++pos;
                continue;
            }
            nonAscii_ = true;
            const std::size_t length = Length(bytes[pos]);
            if (length == 0) {
                valid_ = false;
            } else if (pos + length > bytes.size()) {
                carry_.assign(bytes.substr(pos));
                return;
            } else if (!text::IsValidUtf8(bytes.substr(pos, length))) {
                valid_ = false;
            }
            pos += length;
        }
    }

    void Finish() {
        if (!carry_.empty()) valid_ = false;  // a sequence cut by the end of the file
    }

    bool valid() const { return valid_; }
    bool nonAscii() const { return nonAscii_; }

private:
    // The length of the sequence a lead byte starts; 0 for a byte that starts none.
    static std::size_t Length(char lead) {
        const auto b = static_cast<unsigned char>(lead);
        return b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    }

    std::string carry_;
    bool valid_ = true;
    bool nonAscii_ = false;
};

// Reads until size bytes are in or the file ends.
std::size_t ReadFully(FileReader& in, char* data, std::size_t size) {
    std::size_t used = 0;
    while (used < size) {
        std::size_t n = in.Read(data + used, size - used);
        if (n == 0) break;
        used += n;
    }
    return used;
}

// Windows-1252 as the log writes it: every byte value a character of its own, the five bytes
// the page leaves undefined (81, 8D, 8F, 90, 9D) included as the C1 controls of the same value,
// so that text read from such a file and written again keeps every byte.
std::string FromUtf8Windows1252(std::string_view utf8) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos + 1 < utf8.size(); ++pos) {
        if (utf8[pos] != '\xC2') continue;
        const char c = utf8[pos + 1];
        if (c != '\x81' && c != '\x8D' && c != '\x8F' && c != '\x90' && c != '\x9D') continue;
        out += codepage::FromUtf8(utf8.substr(start, pos - start), "WINDOWS-1252");
        out += c;
        start = pos + 2;
        ++pos;
    }
    out += codepage::FromUtf8(utf8.substr(start), "WINDOWS-1252");
    return out;
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
    const LocalDateTime now = clock_.Now();
    return DayMonthYearText(DateOf(now), settings_.dateSeparator) + " " + TimeText(now, settings_.timeSeparator);
}

ActivityLogWriteError::ActivityLogWriteError(const std::string& reason, std::string_view unwritten)
    : Error(reason + ". Mensagem que não pôde ser registrada: " + std::string(unwritten)),
      reason_(reason),
      unwritten_(unwritten) {}

void ActivityLog::Append(std::string_view message) {
    logEntryLost_ = true;
    try {
        AppendEntry(message);
    } catch (const ActivityLogWriteError&) {
        throw;
    } catch (const Error& e) {
        throw ActivityLogWriteError(e.what(), message);
    }
    logEntryLost_ = false;
}

void ActivityLog::AppendEntry(std::string_view message) {
    // An empty line, then the entry's line; the message's own line breaks become CR LF now, as
    // the next full rewrite would make them.
    std::string entry = "\r\n" + Timestamp() + " - ";
    entry += message;
    entry += "\r\n";
    entry = NormaliseLines(entry);

    if (last_ && IsAsLastWritten()) {
        std::string bytes = Encode(entry, last_->encoding);
        if (auto written = AppendToFile(path_, bytes, last_->identity)) {
            last_->identity = *written;
            return;
        }
    }
    // The log's first entry, or someone else changed the file: examine it again.
    TakeOver(entry);
}

bool ActivityLog::IsAsLastWritten() const {
    try {
        return IdentifyFile(path_) == last_->identity;
    } catch (const Error&) {
        return false;  // the full path reports what is wrong with the file
    }
}

std::string ActivityLog::Encode(std::string_view text, const Encoding& encoding) const {
    if (IsWindows1252Name(encoding.codePage)) return FromUtf8Windows1252(text);
    return codepage::FromUtf8(text, encoding.codePage);
}

namespace {

// A failure to read the log, told apart from failures to write it.
struct ReadFailure {
    std::string reason;
};

template <typename F>
auto Reading(F read) {
    try {
        return read();
    } catch (const Error& e) {
        throw ReadFailure{e.what()};
    }
}

}  // namespace

void ActivityLog::TakeOver(const std::string& entry) {
    const Encoding ansi{settings_.ansiCodePage, ""};
    std::string buffer(kPiece, '\0');
    // Another program may change the file while it is examined: then it is examined again, and
    // the last attempt writes whatever it finds.
    constexpr int kAttempts = 3;
    try {
        for (int attempt = 1;; ++attempt) {
            const bool lastAttempt = attempt == kAttempts;
            if (!Reading([&] { return IdentifyFile(path_); })) {
                FileIdentity written = ReplaceWholeFile(path_, Encode(entry, ansi));
                last_ = LastWrite{written, ansi};
                return;
            }
            Examination found = Examine(buffer);
            if (found.changed && !lastAttempt) continue;
            const std::string entryBytes = Encode(entry, found.encoding);
            if (found.normalised) {
                // Already in the log's form: the entry only goes to its end. Appending also works
                // where replacing cannot: on Windows while a log viewer holds the file open.
                std::optional<FileIdentity> expected;
                if (!lastAttempt) expected = found.identity;
                if (auto written = AppendToFile(path_, entryBytes, expected)) {
                    last_ = LastWrite{*written, std::move(found.encoding)};
                    return;
                }
                continue;
            }
            if (Rewrite(found, entryBytes, buffer, lastAttempt)) return;
        }
    } catch (const ReadFailure& failure) {
        AppendReadFailure(failure.reason);
    }
}

// One pass over the file to learn its encoding and whether its line breaks are CR LF already.
ActivityLog::Examination ActivityLog::Examine(std::string& buffer) const {
    auto in = Reading([&] { return std::make_unique<FileReader>(path_); });
    const FileIdentity before = Reading([&] { return in->Identity(); });
    std::size_t n = Reading([&] { return ReadFully(*in, buffer.data(), buffer.size()); });
    std::string_view head(buffer.data(), n);
    Examination found{{settings_.ansiCodePage, ""}, 1, false, false, false, before};
    for (auto [bom, codePage] : {std::pair{kUtf8Bom, "UTF-8"}, std::pair{kUtf16LeBom, "UTF-16LE"},
                                 std::pair{kUtf16BeBom, "UTF-16BE"}}) {
        if (head.starts_with(bom)) {
            found.encoding = {codePage, std::string(bom)};
            found.unit = bom == kUtf8Bom ? 1 : 2;
            found.bigEndian = bom == kUtf16BeBom;
            break;
        }
    }
    const std::size_t markSize = found.encoding.byteOrderMark.size();
    LineBreaks lines(found.unit, found.bigEndian);
    Utf8Check utf8;
    std::string_view piece = head.substr(markSize);
    while (!piece.empty()) {
        lines.Feed(piece, nullptr);
        if (markSize == 0) utf8.Feed(piece);
        n = Reading([&] { return in->Read(buffer.data(), buffer.size()); });
        piece = std::string_view(buffer.data(), n);
    }
    lines.Finish(nullptr);
    utf8.Finish();
    found.identity = Reading([&] { return in->Identity(); });
    found.changed = found.identity != before;
    found.normalised = lines.normalised();
    if (markSize == 0) {
        // Without a mark the content decides, never the process's settings: the earlier
        // entries were written in whatever this file holds.
        if (!utf8.valid()) {
            found.encoding.codePage = IsUtf8Name(settings_.ansiCodePage) ? "WINDOWS-1252" : settings_.ansiCodePage;
        } else if (utf8.nonAscii()) {
            found.encoding.codePage = "UTF-8";
        }
    }
    return found;
}

// A second pass writes the content again with its line breaks as CR LF, every other byte
// unchanged, and the entry after it. False when the file changed meanwhile and is to be
// examined again.
bool ActivityLog::Rewrite(const Examination& found, const std::string& entryBytes, std::string& buffer,
                          bool lastAttempt) {
    FileReplacement out(path_);
    auto in = Reading([&] { return std::make_unique<FileReader>(path_); });
    if (Reading([&] { return in->Identity(); }) != found.identity && !lastAttempt) return false;
    out.Write(found.encoding.byteOrderMark);
    LineBreaks rewrite(found.unit, found.bigEndian);
    std::size_t skip = found.encoding.byteOrderMark.size();
    std::string normalised;
    std::size_t n;
    while ((n = Reading([&] { return in->Read(buffer.data(), buffer.size()); })) > 0) {
        std::string_view bytes(buffer.data(), n);
        const std::size_t skipped = std::min(skip, bytes.size());
        skip -= skipped;
        normalised.clear();
        rewrite.Feed(bytes.substr(skipped), &normalised);
        out.Write(normalised);
    }
    normalised.clear();
    rewrite.Finish(&normalised);
    out.Write(normalised);
    if (Reading([&] { return in->Identity(); }) != found.identity && !lastAttempt) return false;
    in.reset();
    out.Write(entryBytes);
    FileIdentity written = out.Commit();
    last_ = LastWrite{written, found.encoding};
    return true;
}

void ActivityLog::AppendReadFailure(const std::string& reason) {
    // The earlier content must survive: the failure is appended, never written over it. Without
    // having read the file, the encoding is the last one seen, or the ANSI code page.
    Encoding encoding = last_ ? last_->encoding : Encoding{settings_.ansiCodePage, ""};
    last_.reset();
    std::string line = NormaliseLines(Timestamp() + " - " + reason + "\r\n");
    AppendToFile(path_, Encode(line, encoding));
}

}  // namespace vr
