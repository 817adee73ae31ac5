// Stand-ins for the two ways of naming an unnamed file (through its descriptor, through /proc/self/fd), for
// their lifetime: each way works as the system's does, or fails as a system answers that lacks the capability
// or has no /proc mounted (ENOENT). Counts the calls of each.
#pragma once

#include <cerrno>

#include "sharepoint/output_folder.h"

namespace testsupport {

class LinkStandIn {
public:
    LinkStandIn(bool by_descriptor_works, bool through_proc_works)
        : saved_descriptor_(sharepoint::OutputFolder::link_by_descriptor),
          saved_proc_(sharepoint::OutputFolder::link_through_proc) {
        real_descriptor_ = saved_descriptor_;
        real_proc_ = saved_proc_;
        descriptor_calls_ = 0;
        proc_calls_ = 0;
        sharepoint::OutputFolder::link_by_descriptor =
            by_descriptor_works ? +[](int fd, int folder, const char* name) {
                ++descriptor_calls_;
                return real_descriptor_(fd, folder, name);
            }
                                : +[](int, int, const char*) {
                                      ++descriptor_calls_;
                                      errno = ENOENT;
                                      return -1;
                                  };
        sharepoint::OutputFolder::link_through_proc = through_proc_works ? +[](int fd, int folder, const char* name) {
            ++proc_calls_;
            return real_proc_(fd, folder, name);
        }
                                                                         : +[](int, int, const char*) {
                                                                               ++proc_calls_;
                                                                               errno = ENOENT;
                                                                               return -1;
                                                                           };
    }
    ~LinkStandIn() {
        sharepoint::OutputFolder::link_by_descriptor = saved_descriptor_;
        sharepoint::OutputFolder::link_through_proc = saved_proc_;
    }
    LinkStandIn(const LinkStandIn&) = delete;
    LinkStandIn& operator=(const LinkStandIn&) = delete;

    static int DescriptorCalls() { return descriptor_calls_; }
    static int ProcCalls() { return proc_calls_; }

private:
    static inline sharepoint::OutputFolder::LinkUnnamedCall real_descriptor_ = nullptr;
    static inline sharepoint::OutputFolder::LinkUnnamedCall real_proc_ = nullptr;
    static inline int descriptor_calls_ = 0;
    static inline int proc_calls_ = 0;
    sharepoint::OutputFolder::LinkUnnamedCall saved_descriptor_;
    sharepoint::OutputFolder::LinkUnnamedCall saved_proc_;
};

}  // namespace testsupport
