#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/LineBreaks.h"

namespace vr {
namespace {

struct Case {
    std::vector<std::string> pieces;
    std::string written;
    bool normalised;
};

std::string Pieces(const std::vector<std::string>& pieces) {
    std::string text;
    for (const std::string& p : pieces) text += "[" + p + "]";
    return text;
}

TEST(LineBreaks, EveryBreakBecomesCrLfAcrossPieceBoundaries) {
    const Case cases[] = {
        {{}, "", true},
        {{"a\r\nb\r\n"}, "a\r\nb\r\n", true},
        {{"a\r", "\nb\r\n"}, "a\r\nb\r\n", true},          // CR LF cut between two pieces
        {{"a\r", "", "\nb\r\n"}, "a\r\nb\r\n", true},      // an empty piece between them
        {{"a\r", "b"}, "a\r\nb\r\n", false},               // a lone CR, the next piece goes on
        {{"a\r", "\r\n"}, "a\r\n\r\n", false},             // lone CR, then a CR LF
        {{"a\n", "\nb"}, "a\r\n\r\nb\r\n", false},         // lone LFs and no final break
        {{"a\r\n", "\n"}, "a\r\n\r\n", false},             // an LF after a whole CR LF is a break
        {{"a"}, "a\r\n", false},
        {{"a\r"}, "a\r\n", false},                         // a lone CR at the very end
        {{"\r\n"}, "\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Pieces(c.pieces));
        LineBreaks breaks(1, false);
        std::string out;
        for (const std::string& p : c.pieces) breaks.Feed(p, &out);
        breaks.Finish(&out);
        EXPECT_EQ(out, c.written);
        EXPECT_EQ(breaks.normalised(), c.normalised);
    }
}

TEST(LineBreaks, TwoByteUnitsCutBetweenPiecesStayWhole) {
    const std::string crLf("\r\0\n\0", 4);
    struct Utf16Case {
        std::vector<std::string> pieces;
        std::string written;
        bool normalised;
    } const cases[] = {
        {{std::string("a\0\r", 3), std::string("\0\n\0", 3)}, std::string("a\0", 2) + crLf, true},
        {{std::string("a\0\r\0", 4), std::string("\n\0", 2)}, std::string("a\0", 2) + crLf, true},
        {{std::string("a\0\n\0", 4)}, std::string("a\0", 2) + crLf, false},
    };
    for (const Utf16Case& c : cases) {
        LineBreaks breaks(2, false);
        std::string out;
        for (const std::string& p : c.pieces) breaks.Feed(p, &out);
        breaks.Finish(&out);
        EXPECT_EQ(out, c.written);
        EXPECT_EQ(breaks.normalised(), c.normalised);
    }
}

}  // namespace
}  // namespace vr
