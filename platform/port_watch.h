// Learns from the kernel, through inotify, when serial ports may have come or gone: device
// nodes in the device folder, udev's /dev/serial/by-id links, and the links of the
// published-ports folder, also when those folders are created only later. The descriptor is
// watched by the event loop, so an unchanged system costs nothing. A burst of changes (udev
// makes several nodes and links for one adapter) is settled and reported once.
//
// The watch only says that something changed; what the ports are is decided by a rescan of
// the port map, the same scan as at start-up, with its trust and device checks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/event_loop.h"

namespace platform {

class CPortWatch final : private CTimerTarget {
  public:
    // How long a burst is left to settle after its last change.
    static constexpr unsigned SETTLE_MS = 300;
    // A burst that goes on is reported no later than this after its first change.
    static constexpr unsigned SETTLE_LIMIT_MS = 600;

    // Watches strDevRoot (its serial nodes), strDevRoot/serial/by-id and strPublishedFolder.
    // onSettled runs from the loop after a settled burst; it returns false when it cannot take
    // the change now, and is then asked again SETTLE_MS later.
    CPortWatch(EventLoop& loop, std::string strDevRoot, std::string strPublishedFolder,
               std::function<bool()> onSettled);
    ~CPortWatch();
    CPortWatch(const CPortWatch&) = delete;
    CPortWatch& operator=(const CPortWatch&) = delete;

    // False when inotify could not be had: the list then stays as it was first found.
    bool IsActive() const { return m_nFd >= 0; }

  private:
    // The folders watched; a folder that does not exist yet is watched once its parent
    // reports it.
    enum Folder { DEV, DEV_SERIAL, BY_ID, PUBLISHED_PARENT, PUBLISHED, FOLDER_COUNT };

    void OnTimer(unsigned nIdEvent) override;
    void OnReadable();
    // Watches every folder that is not watched yet and exists now.
    void AddWatches();
    // Whether an event on that folder about that name can change the port list.
    bool Matters(Folder folder, const std::string& strName) const;
    void Changed();

    EventLoop& m_loop;
    std::function<bool()> m_onSettled;
    std::string m_paths[FOLDER_COUNT];
    int m_watches[FOLDER_COUNT];
    std::string m_strPublishedName;
    int m_nFd = -1;
    // The registry key whose changes are watched (Windows).
    void* m_hKey = nullptr;
    bool m_bSettling = false;
    int64_t m_nBurstStartNs = 0;
};

}  // namespace platform
