#pragma once

// Where the results of registering and removing the service, and of a cycle run in the
// foreground, reach the person who asked for them.

#include <memory>
#include <ostream>
#include <string_view>

namespace vr {

class ResultMessages {
public:
    virtual ~ResultMessages() = default;
    // Both return once the text has been shown: a message box blocks until it is closed.
    virtual void Information(std::string_view text) = 0;
    virtual void Failure(std::string_view text) = 0;
};

// One line per message.
class StreamResultMessages final : public ResultMessages {
public:
    explicit StreamResultMessages(std::ostream& out) : out_(out) {}
    void Information(std::string_view text) override { out_ << text << std::endl; }
    void Failure(std::string_view text) override { out_ << text << std::endl; }

private:
    std::ostream& out_;
};

// The platform's: lines on standard output, unless nobody could read them there (a Windows
// program started without a console of its caller's), in which case each message is a message
// box captioned `title`.
std::unique_ptr<ResultMessages> OpenResultMessages(std::string_view title);

}  // namespace vr
