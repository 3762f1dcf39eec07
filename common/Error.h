#pragma once

#include <stdexcept>
#include <string>

namespace vr {

// Every failure travels as an exception carrying a message; there are no error codes.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace vr
