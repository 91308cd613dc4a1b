// The Main page: the COM port list, Read, Store and Load Defaults, the connected gyro's
// identity and the status line. It owns the Read and Store sequences and their timers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/gyro_link.h"
#include "platform/port_watch.h"
#include "platform/ui/ui.h"

struct SerialPortEntry;

enum : int {
    IDC_READ = 1000,
    IDC_STORE = 1001,
    IDC_COMPORT = 1002,
    IDC_FIRMWARE_VERSION = 1003,
    IDC_LOADER_VERSION = 1004,
    IDC_SERIAL_NUMBER = 1005,
    IDC_LOAD_DEFAULTS = 1006,
    IDC_STATUS = 1039,
};

// Port entries keep at most this many characters of a port's name and of its friendly name.
constexpr size_t PORT_NAME_CHARS = 29;

// The port number an entry text names: the digits after its first "COM" (0 when none
// follow), or -1 when the text holds no "COM".
int PortNumberOfEntry(const std::wstring& strEntry);

class CMainCtrlPage : public platform::ui::CPropertyPage, private CGyroLinkOwner {
  public:
    CMainCtrlPage();

    // The Read and Store sequences. The page binds their identity texts and status line to
    // its controls and reaches the rest (port, state, busy flag) through the link's calls.
    CGyroLink m_link;
    // The port list entries in discovery order, as the last scan found them.
    std::vector<std::wstring> m_portNames;
    // Text whose presence in the selected entry means an incoming Bluetooth port.
    std::wstring m_strBluetoothMarker;

    bool OnInitDialog() override;
    void DoDataExchange(platform::ui::CDataExchange* pDX) override;
    void OnCommand(int nId, int nCode) override;
    void OnTimer(unsigned nIdEvent) override;
    bool OnKillActive() override;

    void OnRead();
    void OnStore();
    void OnLoadDefaults();
    void OnSelchangeComPort();

    // Receives each port that discovery finds; 0 stops the current scan.
    static int PortFound(intptr_t nContext, const SerialPortEntry& entry);
    // Ports came or went: scans again and brings the list up to date. False, leaving the
    // list alone, while a sequence or an upload holds the port.
    bool OnPortsChanged();

  private:
    void ShowAttention(const std::wstring& strText) override;
    void EnableLinkControls(bool bEnable) override;
    void RefreshControls() override;
    GyroParameters& Parameters() override;
    // Keeps the parameter set in the history (a failure there ends nothing).
    void SequenceCompleted(bool bStore) override;

    void HandToFirmwarePage();
    // Makes the list's entries those of m_portNames, keeping the selected entry selected, and
    // listed even when its port has gone, so that the same adapter plugged in again just works.
    // At start-up, the stored or first port is selected.
    void FillPortList(bool bAtStart);
    // Selects the stored port, else the first entry, as at start-up.
    void SelectStartPort();

    // Tells of ports plugged in and pulled out while the page lives.
    std::unique_ptr<platform::CPortWatch> m_pPortWatch;
};

// The Main page, from the start of its initialisation on.
extern CMainCtrlPage* g_pMainPage;
