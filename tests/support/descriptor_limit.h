// Makes every further open fail with "Too many open files" for as long as it lives, by lowering the soft
// limit on descriptors to the number in use: the one passing open failure a test can bring about.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

namespace testsupport {

class DescriptorsUsedUp {
public:
    DescriptorsUsedUp() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowest_free = ::dup(0);
        if (lowest_free >= 0) ::close(lowest_free);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowest_free < 0 ? 0 : lowest_free);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorsUsedUp() { Release(); }
    DescriptorsUsedUp(const DescriptorsUsedUp&) = delete;
    DescriptorsUsedUp& operator=(const DescriptorsUsedUp&) = delete;
    void Release() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

}  // namespace testsupport
