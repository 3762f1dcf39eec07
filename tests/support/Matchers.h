#pragma once

// What an error must say: gmock's Throws<E>(...) and ThrowsMessage<E>(...) take a callable, so a
// test states the failure it expects in one line instead of a try block that fails without one.
//   EXPECT_THAT([&] { query.Open(); }, ThrowsMessage<Error>(HasSubstr("PADRAO")));
//   EXPECT_THAT([&] { query.Post(); }, Throws<db::DatabaseError>(AllOf(Conflict(), WithMessage(...))));

#include <gmock/gmock.h>

#include <string>

namespace vr::test {

// The message of a caught exception, beside matchers on its other properties.
MATCHER_P(WithMessage, matcher, "whose message " + ::testing::DescribeMatcher<std::string>(matcher)) {
    return ::testing::ExplainMatchResult(matcher, std::string(arg.what()), result_listener);
}

}  // namespace vr::test
