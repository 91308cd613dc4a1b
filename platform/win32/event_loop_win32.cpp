// The headless loop's wait for watched descriptors on Windows. A descriptor here is the value
// of a waitable handle (an event, a change notification): Windows keeps handle values within
// 32 bits so that they pass between 32- and 64-bit programs, and an int holds them. A handle
// counts as readable while it is signalled.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/event_loop.h"
#include "platform/win32/windows_api.h"

namespace platform {

bool HeadlessEventLoop::DispatchReadable(int64_t nWaitNs) {
    std::vector<HANDLE> handles;
    std::vector<int> descriptors;
    for (const auto& watched : Watched()) {
        if (handles.size() == MAXIMUM_WAIT_OBJECTS)
            break;
        handles.push_back(reinterpret_cast<HANDLE>(static_cast<intptr_t>(watched.first)));
        descriptors.push_back(watched.first);
    }
    if (handles.empty())
        return false;
    // Whole milliseconds, rounded up: a wait cut short would only come round again at once.
    const int64_t nWait = m_kind == ClockKind::Virtual ? 0 : std::max<int64_t>(nWaitNs, 0);
    const auto nWaitMs =
        static_cast<DWORD>(std::min<int64_t>((nWait + 999'999) / 1'000'000, INFINITE - 1));
    const DWORD nReady =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, nWaitMs);
    if (nReady < WAIT_OBJECT_0 + handles.size()) {
        DescriptorReady(descriptors[nReady - WAIT_OBJECT_0]);
        return true;
    }
    return false;
}

}  // namespace platform
