// One running copy per executable: the first copy holds a lock named from its executable's
// path and listens for a local message; a later copy finds the lock taken and asks the
// running copy to bring its window to the front instead of starting. The lock file and the
// socket lie in $XDG_RUNTIME_DIR, else in /tmp/morvane-gyro-tools-<uid>, and only in a folder
// of the user's own that nobody else may write to: a lock that another user could plant would
// let that user keep the pilot's program from starting.
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

    // True when no other copy held the lock: this copy starts (and listens when it holds the
    // lock). A lock that cannot be taken is no other copy: this copy is first then too.
    bool IsFirst() const { return m_bFirst; }
    // Why this copy runs without the lock or without listening ("<path>: <reason>"); empty
    // when it holds both or another copy holds the lock.
    const std::string& Problem() const { return m_strProblem; }

    // A later copy: asks the running copy to come forward, trying nTries times nWaitMs
    // apart while it is still starting up. True when the running copy was reached.
    bool ActivateRunningCopy(int nTries = 40, int nWaitMs = 250) const;

    // The first copy: a descriptor that becomes readable when another copy asks, and the call
    // that takes the request (true when there was one). -1 when this copy does not listen.
    int ActivationFd() const { return m_nSocket; }
    bool TakeActivation() const;

    // The lock's name: the executable's path with slashes only.
    const std::string& LockName() const { return m_strName; }

  private:
    std::string m_strName;
    std::string m_strLockPath;
    std::string m_strSocketPath;
    std::string m_strProblem;
    int m_nLock = -1;
    int m_nSocket = -1;
    bool m_bFirst = false;
};

}  // namespace platform
