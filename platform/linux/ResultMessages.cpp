#include "platform/ResultMessages.h"

#include <iostream>

namespace vr {

// Whoever starts the program here reads its standard output; there is no desktop to fall back on.
std::unique_ptr<ResultMessages> OpenResultMessages(std::string_view) {
    return std::make_unique<StreamResultMessages>(std::cout);
}

}  // namespace vr
