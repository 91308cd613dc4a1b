#include "platform/port_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <utility>

namespace platform {

namespace {

// Entries coming, going or renamed; for the published folder and its parent also a change of
// owner or mode, which decides whether the folder is trusted.
constexpr uint32_t ENTRY_EVENTS = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t TRUST_EVENTS = ENTRY_EVENTS | IN_ATTRIB;

}  // namespace

CPortWatch::CPortWatch(EventLoop& loop, std::string strDevRoot, std::string strPublishedFolder,
                       std::function<bool()> onSettled)
    : m_loop(loop), m_onSettled(std::move(onSettled)) {
    namespace fs = std::filesystem;
    const fs::path published(strPublishedFolder);
    m_paths[DEV] = strDevRoot;
    m_paths[DEV_SERIAL] = strDevRoot + "/serial";
    m_paths[BY_ID] = strDevRoot + "/serial/by-id";
    m_paths[PUBLISHED_PARENT] = published.parent_path().string();
    m_paths[PUBLISHED] = strPublishedFolder;
    m_strPublishedName = published.filename().string();
    std::fill(std::begin(m_watches), std::end(m_watches), -1);
    m_nFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_nFd < 0)
        return;
    AddWatches();
    m_loop.WatchDescriptor(m_nFd, [this] { OnReadable(); });
}

CPortWatch::~CPortWatch() {
    m_loop.KillAllTimers(this);
    if (m_nFd >= 0) {
        m_loop.UnwatchDescriptor(m_nFd);
        close(m_nFd);
    }
}

void CPortWatch::AddWatches() {
    for (int i = 0; i < FOLDER_COUNT; ++i) {
        if (m_watches[i] >= 0)
            continue;
        // The published folder itself is never watched through a link put in its place.
        const uint32_t nMask = i == PUBLISHED          ? TRUST_EVENTS | IN_DONT_FOLLOW
                               : i == PUBLISHED_PARENT ? TRUST_EVENTS
                                                       : ENTRY_EVENTS;
        // IN_MASK_ADD: two folders that are one (a test's tree) keep both their events.
        m_watches[i] = inotify_add_watch(m_nFd, m_paths[i].c_str(), nMask | IN_MASK_ADD);
    }
}

bool CPortWatch::Matters(Folder folder, const std::string& strName) const {
    switch (folder) {
        case DEV:
            for (const std::string_view strPrefix : {"ttyS", "ttyUSB", "ttyACM", "rfcomm"})
                if (strName.starts_with(strPrefix))
                    return true;
            return strName == "serial";
        case DEV_SERIAL:
            return strName == "by-id";
        case PUBLISHED_PARENT:
            return strName == m_strPublishedName;
        case BY_ID:
        case PUBLISHED:
        case FOLDER_COUNT:
            break;
    }
    return true;
}

void CPortWatch::OnReadable() {
    alignas(inotify_event) char buffer[4096];
    bool bChanged = false, bRewatch = false;
    for (;;) {
        const ssize_t nRead = read(m_nFd, buffer, sizeof buffer);
        if (nRead <= 0) {
            if (nRead < 0 && errno == EINTR)
                continue;
            break;  // EAGAIN: everything waiting has been read
        }
        for (ssize_t nAt = 0; nAt < nRead;) {
            const auto* pEvent = reinterpret_cast<const inotify_event*>(buffer + nAt);
            nAt += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
            // Events were lost: anything may have changed.
            if (pEvent->mask & IN_Q_OVERFLOW) {
                bChanged = bRewatch = true;
                continue;
            }
            const std::string strName = pEvent->len ? std::string(pEvent->name) : std::string();
            for (int i = 0; i < FOLDER_COUNT; ++i) {
                if (m_watches[i] != pEvent->wd)
                    continue;
                if (pEvent->mask & IN_IGNORED) {
                    // The folder went away; it is watched again when it comes back.
                    m_watches[i] = -1;
                    bChanged = bRewatch = true;
                } else if (strName.empty() || Matters(static_cast<Folder>(i), strName)) {
                    bChanged = true;
                    bRewatch = bRewatch || (pEvent->mask & (IN_CREATE | IN_MOVED_TO)) != 0;
                }
            }
        }
    }
    if (bRewatch)
        AddWatches();
    if (bChanged)
        Changed();
}

}  // namespace platform
