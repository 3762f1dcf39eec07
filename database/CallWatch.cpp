#include "database/CallWatch.h"

#include <firebird/Interface.h>

#include "database/Client.h"

namespace vr::db {

void DeferredReleases::Add(Firebird::IReferenceCounted* handle) noexcept {
    if (handle == nullptr) return;
    try {
        handles_.push_back(handle);
    } catch (...) {
        handle->release();  // no room to keep it: give it up now rather than leak it
    }
}

void DeferredReleases::ReleaseAll() noexcept {
    std::vector<Firebird::IReferenceCounted*> handles;
    handles.swap(handles_);
    for (Firebird::IReferenceCounted* handle : handles) handle->release();
}

void CallContext::Defer(Firebird::IReferenceCounted* handle) const noexcept {
    if (handle == nullptr) return;
    if (deferred != nullptr) {
        deferred->Add(handle);
    } else {
        handle->release();
    }
}

CallWatch::~CallWatch() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

CallWatch::Scope CallWatch::Enter(const Client& client, Firebird::IAttachment* attachment) {
    bool wakeWatcher = false;
    std::uint64_t call = 0;
    {
        const std::lock_guard lock(mutex_);
        // Started at the first call, so that a process that never reaches the database has no thread.
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        call = ++call_;
        inCall_ = true;
        aborted_ = false;
        deadline_ = Clock::now() + bound_;
        client_ = &client;
        attachment_ = attachment;
        // A watcher already waiting on an earlier deadline wakes then and waits on for this one:
        // only an idle watcher needs the wake-up, so a run of quick calls costs no switch.
        wakeWatcher = watcherIdle_;
    }
    if (wakeWatcher) wake_.notify_one();
    return Scope(this, call);
}

bool CallWatch::Leave(std::uint64_t call) noexcept {
    const std::lock_guard lock(mutex_);
    if (call != call_) return false;
    inCall_ = false;
    attachment_ = nullptr;
    return aborted_;
}

std::chrono::milliseconds CallWatch::Scope::End() noexcept {
    if (watch_ == nullptr) return std::chrono::milliseconds::zero();
    CallWatch* watch = watch_;
    watch_ = nullptr;
    return watch->Leave(call_) ? watch->bound_ : std::chrono::milliseconds::zero();
}

void CallWatch::Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (!inCall_ || aborted_) {
            watcherIdle_ = true;
            wake_.wait(lock);  // no timeout: nothing is in progress
            watcherIdle_ = false;
            continue;
        }
        if (Clock::now() < deadline_) {
            wake_.wait_until(lock, deadline_);
            continue;
        }
        // Past the bound and the call has not ended: its Leave waits on this lock, so the
        // attachment cannot be detached or used by anyone else while it is aborted.
        Status status(*client_);
        attachment_->cancelOperation(status.get(), fb_cancel_abort);
        aborted_ = true;
    }
}

}  // namespace vr::db
