// The headless loop's wait for watched descriptors on Linux: ppoll.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/event_loop.h"

namespace platform {

bool HeadlessEventLoop::DispatchReadable(int64_t nWaitNs) {
    std::vector<pollfd> fds;
    for (const auto& watched : Watched())
        fds.push_back({watched.first, POLLIN, 0});
    if (fds.empty())
        return false;
    // ppoll() waits to the nanosecond, as the plain sleep does, so watching costs the timers
    // no precision.
    const int64_t nWait = m_kind == ClockKind::Virtual ? 0 : std::max<int64_t>(nWaitNs, 0);
    const timespec wait{static_cast<time_t>(nWait / 1'000'000'000),
                        static_cast<long>(nWait % 1'000'000'000)};
    const int nReady = ppoll(fds.data(), fds.size(), &wait, nullptr);
    // A signal ended the wait early: its handler may have made a descriptor readable (the
    // signal watch's pipe), so the caller goes round again rather than take the wait as over.
    if (nReady < 0 && errno == EINTR)
        return true;
    if (nReady <= 0)
        return false;
    for (const pollfd& fd : fds)
        if (fd.revents != 0) {
            DescriptorReady(fd.fd);
            return true;
        }
    return false;
}

}  // namespace platform
