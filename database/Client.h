#pragma once

// The Firebird client library, loaded by name when the first connection needs it and kept
// loaded for the life of the process; and the status object each call of its API reports into.

#include <chrono>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "database/DatabaseError.h"
#include "platform/DynamicLibrary.h"

namespace Firebird {
class IMaster;
class IUtil;
class IStatus;
class CheckStatusWrapper;
}  // namespace Firebird

namespace vr::db {

class Client {
public:
    // The library under the first of names that loads and offers the object-oriented API.
    // Throws vr::Error when none does. Later calls with the same names reuse it.
    static const Client& Load(const std::vector<std::string>& names);

    Firebird::IMaster* master() const { return master_; }
    Firebird::IUtil* util() const { return util_; }
    // The library's file, with its full path, as the support checks show it.
    const std::string& file() const { return library_.path(); }

    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

private:
    Client(DynamicLibrary library, Firebird::IMaster* master, Firebird::IUtil* util)
        : library_(std::move(library)), master_(master), util_(util) {}
    DynamicLibrary library_;
    Firebird::IMaster* master_;
    Firebird::IUtil* util_;
};

// Status of one API call at a time; Check() turns a failure into a DatabaseError.
class Status {
public:
    explicit Status(const Client& client);
    ~Status();
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;

    Firebird::CheckStatusWrapper* get() { return wrapper_.get(); }
    bool Failed() const;
    // abandonedAfter: the bound at which the call was abandoned (zero: it was not). An abandoned
    // call reports a lost connection whatever else the status holds, since the attachment is gone.
    DatabaseError ToError(std::chrono::milliseconds abandonedAfter = std::chrono::milliseconds::zero()) const;
    void Check(std::chrono::milliseconds abandonedAfter = std::chrono::milliseconds::zero()) const {
        if (Failed()) throw ToError(abandonedAfter);
    }

private:
    const Client& client_;
    Firebird::IStatus* status_;
    std::unique_ptr<Firebird::CheckStatusWrapper> wrapper_;
};

}  // namespace vr::db
