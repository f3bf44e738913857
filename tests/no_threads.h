// Threads ports for tests and fuzz targets that build the process-wide objects themselves.
#pragma once

#include "ports.h"

#include <functional>

namespace qa_test {

// A platform's threads, clock and waits, for wrappers that change one part of them.
class ForwardingThreads : public plat::Threads {
public:
    explicit ForwardingThreads(plat::Threads& inner) : inner_(inner) {}
    plat::Handle createMutex(const plat::String* name, bool owner, std::uint32_t& error) override {
        return inner_.createMutex(name, owner, error);
    }
    bool releaseMutex(plat::Handle mutex) override { return inner_.releaseMutex(mutex); }
    std::uint32_t waitForSingleObject(plat::Handle object, std::uint32_t ms) override {
        return inner_.waitForSingleObject(object, ms);
    }
    bool closeHandle(plat::Handle object) override { return inner_.closeHandle(object); }
    plat::Handle startThread(std::function<void()> body) override {
        return inner_.startThread(std::move(body));
    }
    bool processEnding() override { return inner_.processEnding(); }
    std::int64_t timeNow() override { return inner_.timeNow(); }
    plat::LocalTime localTime() override { return inner_.localTime(); }
    std::uint64_t tickCount() override { return inner_.tickCount(); }
    void sleep(std::uint32_t ms) override { inner_.sleep(ms); }

private:
    plat::Threads& inner_;
};

// The clock and waits of a platform without the threads a run of the program starts (its
// audio thread): for tests and fuzz targets that build the process-wide objects and fill the
// device table themselves.
class NoThreads final : public ForwardingThreads {
public:
    using ForwardingThreads::ForwardingThreads;
    plat::Handle startThread(std::function<void()>) override { return 0; }
    bool processEnding() override { return true; }
};

} // namespace qa_test
