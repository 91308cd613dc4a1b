// One running copy per executable: the first copy holds a lock named from its executable's
// path and listens for a local message; a later copy finds the lock taken and asks the
// running copy to bring its window to the front instead of starting.
#pragma once

#include <string>

namespace platform {

class SingleInstance {
  public:
    // Takes the lock for the executable (the handheld names it after the full path with
    // every backslash turned into a slash).
    explicit SingleInstance(const std::string& strExecutablePath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when no other copy held the lock: this copy starts and listens.
    bool IsFirst() const { return m_bFirst; }

    // A later copy: asks the running copy to come forward, trying nTries times nWaitMs
    // apart while it is still starting up. True when the running copy was reached.
    bool ActivateRunningCopy(int nTries = 40, int nWaitMs = 250) const;

    // The first copy: a descriptor that becomes readable when another copy asks, and the call
    // that takes the request (true when there was one).
    int ActivationFd() const { return m_nSocket; }
    bool TakeActivation() const;

    // The lock's name: the executable's path with slashes only.
    const std::string& LockName() const { return m_strName; }

  private:
    std::string m_strName;
    std::string m_strKey;  // the user and a hash of the name: names the lock file and socket
    int m_nLock = -1;
    int m_nSocket = -1;
    bool m_bFirst = false;
};

}  // namespace platform
