#pragma once

// The line breaks of a text in code units of one byte (UTF-8, 8-bit pages) or two (UTF-16), fed
// in pieces: whether they are all CR LF already, and the same text with every CR LF, lone CR
// and lone LF written as CR LF, nothing else changed. A CR at the end of one piece and an LF at
// the start of the next are one line break; Finish ends a text that is not empty with one.

#include <cstddef>
#include <string>
#include <string_view>

namespace vr {

class LineBreaks {
public:
    LineBreaks(std::size_t unit, bool bigEndian);

    // Appends the piece's normalised form to out, when out is given.
    void Feed(std::string_view bytes, std::string* out);
    // After the last piece: completes a cut unit and ends the text with a line break.
    void Finish(std::string* out);

    bool normalised() const { return normalised_; }

private:
    void FeedBytes(std::string_view bytes, std::string* out);
    void Unit(std::string_view unit, std::string* out);

    std::size_t unit_;
    bool bigEndian_;
    std::string crLf_;
    std::string carry_;  // the first byte of a two-byte unit cut by the end of a piece
    bool lastWasCr_ = false;
    bool empty_ = true;
    bool endsWithBreak_ = false;
    bool normalised_ = true;
};

}  // namespace vr
