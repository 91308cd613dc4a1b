// The port watch on Windows: serial drivers enter their ports in HKLM\HARDWARE\DEVICEMAP
// (SERIALCOMM, a key made when the first port comes), so a change below that key is the
// hint that ports came or went. The system signals an event for it, which the loop watches;
// the watch is armed again each time. In the desktop program the system's device arrival and
// removal broadcasts are a hint as well. The Linux arguments, device and published folders,
// have no meaning here.
#include "platform/port_watch.h"
#include "platform/win32/win32_event_loop.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

constexpr DWORD NOTIFY_FILTER = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

HKEY KeyOf(void* hKey) {
    return static_cast<HKEY>(hKey);
}

HANDLE EventOf(int nFd) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(nFd));
}

}  // namespace

CPortWatch::CPortWatch(EventLoop& loop, std::string /*strDevRoot*/,
                       std::string /*strPublishedFolder*/, std::function<bool()> onSettled)
    : m_loop(loop), m_onSettled(std::move(onSettled)) {
    if (auto* pWindowLoop = dynamic_cast<win32::Win32EventLoop*>(&m_loop))
        pWindowLoop->SetDeviceChange([this] { Changed(); });
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP", 0, KEY_NOTIFY, &hKey) !=
        ERROR_SUCCESS)
        return;
    HANDLE hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!hEvent ||
        RegNotifyChangeKeyValue(hKey, TRUE, NOTIFY_FILTER, hEvent, TRUE) != ERROR_SUCCESS) {
        if (hEvent)
            CloseHandle(hEvent);
        RegCloseKey(hKey);
        return;
    }
    m_hKey = hKey;
    m_nFd = static_cast<int>(reinterpret_cast<intptr_t>(hEvent));
    m_loop.WatchDescriptor(m_nFd, [this] { OnReadable(); });
}

CPortWatch::~CPortWatch() {
    m_loop.KillAllTimers(this);
    if (auto* pWindowLoop = dynamic_cast<win32::Win32EventLoop*>(&m_loop))
        pWindowLoop->SetDeviceChange(nullptr);
    if (m_nFd >= 0) {
        m_loop.UnwatchDescriptor(m_nFd);
        RegCloseKey(KeyOf(m_hKey));
        CloseHandle(EventOf(m_nFd));
    }
}

void CPortWatch::OnReadable() {
    ResetEvent(EventOf(m_nFd));
    // Armed again before the rescan, so that a change during it is not missed.
    RegNotifyChangeKeyValue(KeyOf(m_hKey), TRUE, NOTIFY_FILTER, EventOf(m_nFd), TRUE);
    Changed();
}

}  // namespace platform
