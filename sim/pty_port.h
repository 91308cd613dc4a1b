// The gyro-sim program's end of a pseudo-terminal. The program under test opens the other
// end (the slave) like any serial device.
#pragma once

#include <string>

namespace sim {

class CPtyPort {
  public:
    CPtyPort() = default;
    ~CPtyPort() { Close(); }
    CPtyPort(const CPtyPort&) = delete;
    CPtyPort& operator=(const CPtyPort&) = delete;

    // Creates the pair, makes the terminal raw at 19200 8N1 and keeps a descriptor of the
    // slave open, so that the master does not see a hang-up each time the program closes
    // the port. The master is non-blocking. False with the reason on failure.
    bool Open(std::string& strError);
    void Close();

    int MasterFd() const { return m_nMasterFd; }
    const std::string& SlavePath() const { return m_strSlavePath; }

  private:
    int m_nMasterFd = -1;
    int m_nSlaveFd = -1;
    std::string m_strSlavePath;
};

}  // namespace sim
