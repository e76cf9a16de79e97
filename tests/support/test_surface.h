// A memory surface for tests: its lock can be made to fail, and it counts
// successful locks and unlocks, so a test sees that a drawer writes nothing and
// unlocks nothing after a failed lock, and unlocks once per lock otherwise.
#pragma once

#include "display/memory_surface.h"

namespace veltrane::test {

class TestSurface final : public MemorySurface {
public:
    using MemorySurface::MemorySurface;

    bool lock(LockedSurface& locked) override {
        if (failLocks || !MemorySurface::lock(locked)) return false;
        ++lockCount;
        return true;
    }
    void unlock() override {
        ++unlockCount;
        MemorySurface::unlock();
    }

    bool failLocks = false;
    int lockCount = 0;  // successful locks
    int unlockCount = 0;
};

}  // namespace veltrane::test
