#include "common/LineBreaks.h"

#include <algorithm>
#include <cstring>

namespace vr {

LineBreaks::LineBreaks(std::size_t unit, bool bigEndian) : unit_(unit), bigEndian_(bigEndian) {
    crLf_ = unit == 1 ? "\r\n" : bigEndian ? std::string("\0\r\0\n", 4) : std::string("\r\0\n\0", 4);
}

void LineBreaks::Feed(std::string_view bytes, std::string* out) {
    if (bytes.empty()) return;
    empty_ = false;
    if (unit_ == 1) {
        FeedBytes(bytes, out);
        return;
    }
    std::size_t pos = 0;
    if (!carry_.empty()) {
        carry_ += bytes[0];
        Unit(carry_, out);
        carry_.clear();
        pos = 1;
    }
    for (; pos + 1 < bytes.size(); pos += 2) Unit(bytes.substr(pos, 2), out);
    if (pos < bytes.size()) carry_.assign(1, bytes[pos]);
}

void LineBreaks::Finish(std::string* out) {
    if (!carry_.empty()) {
        // An odd byte at the end of UTF-16 text: kept, completed to a whole unit.
        carry_ += '\0';
        Unit(carry_, out);
        carry_.clear();
        normalised_ = false;
    }
    if (lastWasCr_) normalised_ = false;  // a lone CR at the very end
    if (!empty_ && !endsWithBreak_) {
        normalised_ = false;
        if (out) *out += crLf_;
    }
}

void LineBreaks::FeedBytes(std::string_view bytes, std::string* out) {
    // memchr finds each kind of break fast; the next of each is remembered, so that a text
    // without one kind is not searched again for it at every line.
    const char* data = bytes.data();
    const std::size_t size = bytes.size();
    auto find = [&](char c, std::size_t from) {
        const void* found = std::memchr(data + from, c, size - from);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : size;
    };
    std::size_t nextCr = find('\r', 0);
    std::size_t nextLf = find('\n', 0);
    std::size_t pos = 0;
    while (pos < size) {
        if (lastWasCr_) {
            lastWasCr_ = false;
            if (data[pos] == '\n') {  // the LF of a CR LF already written
                ++pos;
                continue;
            }
            normalised_ = false;
        }
        if (nextCr < pos) nextCr = find('\r', pos);
        if (nextLf < pos) nextLf = find('\n', pos);
        const std::size_t next = std::min(nextCr, nextLf);
        if (next > pos) {
            if (out) out->append(data + pos, next - pos);
            endsWithBreak_ = false;
        }
        if (next == size) break;
        if (data[next] == '\r') {
            lastWasCr_ = true;
        } else {
            normalised_ = false;
        }
        if (out) *out += "\r\n";
        endsWithBreak_ = true;
        pos = next + 1;
    }
}

void LineBreaks::Unit(std::string_view unit, std::string* out) {
    const auto first = static_cast<unsigned char>(unit[0]);
    const auto second = static_cast<unsigned char>(unit[1]);
    const unsigned value = bigEndian_ ? (first << 8) | second : (second << 8) | first;
    if (lastWasCr_) {
        lastWasCr_ = false;
        if (value == '\n') return;
        normalised_ = false;
    }
    if (value == '\r' || value == '\n') {
        if (value == '\n') normalised_ = false;
        lastWasCr_ = value == '\r';
        if (out) *out += crLf_;
        endsWithBreak_ = true;
        return;
    }
    if (out) out->append(unit);
    endsWithBreak_ = false;
}

}  // namespace vr
