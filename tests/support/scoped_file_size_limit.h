// Files this process writes may not grow past a given size while the object
// lives: a write beyond it fails with EFBIG (SIGXFSZ is ignored meanwhile),
// which is how a full disk looks to the writer, without needing one.
#pragma once

#include <csignal>

#include <sys/resource.h>

namespace veltrane::test {

class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit limit{bytes, previous_.rlim_max};
        applied_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~ScopedFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

    // False when the limit could not be set (the test cannot then show a failed write).
    bool applied() const { return applied_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int);
    bool applied_ = false;
};

}  // namespace veltrane::test
