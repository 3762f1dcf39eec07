#pragma once

// How a JSON value reads as text: the rule behind every member the service takes from an answer.

#include <string>
#include <string_view>

#include "common/Json.h"
#include "common/RegionalSettings.h"

namespace vr {

// The text a JSON value reads as. Throws vr::Error for a long integer number that is not a
// signed 64-bit integer; a number beyond a double's range reads in exponent form.
std::string ValueText(JsonValue value, const RegionalSettings& settings);

// The value text of a member that must be present; throws vr::Error naming a missing member.
std::string RequiredMemberText(JsonValue object, std::string_view name,
                               const RegionalSettings& settings);

}  // namespace vr
