#include "pages/main_page.h"

#include <algorithm>
#include <climits>

#include "pages/parameter_fields.h"
#include "platform/event_loop.h"
#include "platform/port_map.h"
#include "platform/published_ports.h"
#include "platform/text.h"
#include "res/resources.h"
#include "res/version.h"
#include "shell/config_sheet_data.h"
#include "shell/history.h"
#include "shell/port_discovery.h"
#include "shell/settings.h"
#include "shell/splash.h"

using namespace platform::ui;

CMainCtrlPage* g_pMainPage = nullptr;

namespace {

const wchar_t PROGRAM_VERSION[] = L"Program Version: " MORVANE_VERSION;
const wchar_t INCOMING_BLUETOOTH_AT_START[] =
    L"WARNING - The selected COM port has been detected as an Incomming BlueTooth port, using "
    L"this port could make your Pocket PC unstable";
const wchar_t INCOMING_BLUETOOTH_ON_CHANGE[] =
    L"WARNING - The selected COM port has been reported as an Incomming BlueTooth port, using "
    L"this port could make your PocketPC unstable";

}  // namespace

int PortNumberOfEntry(const std::wstring& strEntry) {
    const size_t nAt = strEntry.find(L"COM");
    if (nAt == std::wstring::npos)
        return -1;
    // Every digit counts: COM12 is port 12, not port 1.
    long long nNumber = 0;
    for (size_t i = nAt + 3; i < strEntry.size() && strEntry[i] >= L'0' && strEntry[i] <= L'9'; ++i)
        nNumber = std::min<long long>(nNumber * 10 + (strEntry[i] - L'0'), INT_MAX);
    return static_cast<int>(nNumber);
}

CMainCtrlPage::CMainCtrlPage()
    : CPropertyPage(IDD_MAIN_PAGE), m_link(*this, CurrentHost().Loop(), this) {}

void CMainCtrlPage::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_FIRMWARE_VERSION, m_link.m_strFirmwareVersion);
    DDX_Text(pDX, IDC_LOADER_VERSION, m_link.m_strLoaderVersion);
    DDX_Text(pDX, IDC_SERIAL_NUMBER, m_link.m_strSerialNumber);
    DDX_Text(pDX, IDC_STATUS, m_link.m_strStatus);
}

int CMainCtrlPage::PortFound(intptr_t /*nContext*/, const SerialPortEntry& entry) {
    CMainCtrlPage* pPage = g_pMainPage;
    const std::string strPort = platform::ToNarrowText(entry.PortName, PORT_NAME_CHARS);
    const std::string strFriendly = platform::ToNarrowText(entry.FriendlyName, PORT_NAME_CHARS);
    // COM0 ends the scan of the source that reports it.
    if (strPort.size() >= 4 && strPort[3] == '0')
        return 0;
    if (entry.IncomingBluetooth)
        pPage->m_strBluetoothMarker = entry.PortName;
    pPage->m_portNames.push_back(platform::ToWideText(strPort + ":(" + strFriendly + ")"));
    return 1;
}

bool CMainCtrlPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    g_pMainPage = this;
    m_strBluetoothMarker = L"Microsoft";
    EnumerateSerialPorts(&CMainCtrlPage::PortFound, 0);
    GetDlgItem(IDC_COMPORT)->ResetContent();
    FillPortList(true);

    m_link.Reset();
    ::LoadDefaults(Parameters());
    m_link.m_strStatus = PROGRAM_VERSION;
    UpdateData(false);

    const platform::PortMapSetup setup = platform::PortMap::Instance().Setup();
    m_pPortWatch = std::make_unique<platform::CPortWatch>(CurrentHost().Loop(), setup.strDevRoot,
                                                          platform::PublishedPortsFolder(),
                                                          [this] { return OnPortsChanged(); });
    return true;
}

void CMainCtrlPage::SelectStartPort() {
    CControl& ports = *GetDlgItem(IDC_COMPORT);
    ports.SetCurSel(0);
    m_link.SetComPort(static_cast<int>(ports.GetItemData(ports.GetCurSel())));

    if (const int nStored = LoadComPortSetting(); nStored != 0) {
        for (int i = 0; i < ports.GetCount(); ++i) {
            if (ports.GetItemData(i) == nStored) {
                ports.SetCurSel(i);
                m_link.SetComPort(nStored);
                break;
            }
        }
    } else {
        SaveComPortSetting(m_link.ComPort());
    }
    HandToFirmwarePage();

    if (ports.GetLBText(ports.GetCurSel()).find(m_strBluetoothMarker) != std::wstring::npos)
        ShowAttention(INCOMING_BLUETOOTH_AT_START);
}

void CMainCtrlPage::FillPortList(bool bAtStart) {
    CControl& ports = *GetDlgItem(IDC_COMPORT);
    const int nSelected = ports.GetCurSel();
    const std::wstring strSelected = ports.GetLBText(nSelected);
    std::vector<std::wstring> entries = m_portNames;
    if (nSelected != CB_ERR &&
        std::find(entries.begin(), entries.end(), strSelected) == entries.end()) {
        // Its port has gone: the entry stays, in its place by number, until another is picked.
        const int nNumber = PortNumberOfEntry(strSelected);
        entries.insert(std::find_if(entries.begin(), entries.end(),
                                    [nNumber](const std::wstring& strEntry) {
                                        return PortNumberOfEntry(strEntry) > nNumber;
                                    }),
                       strSelected);
    }
    bool bSame = ports.GetCount() == static_cast<int>(entries.size());
    for (int i = 0; bSame && i < ports.GetCount(); ++i)
        bSame = ports.GetLBText(i) == entries[static_cast<size_t>(i)];
    if (bSame && !bAtStart)
        return;

    // Filled from code: no selection change is reported, and the selected port stays.
    ports.ResetContent();
    for (size_t i = 0; i < entries.size(); ++i) {
        const int nIndex = ports.InsertString(static_cast<int>(i), entries[i]);
        ports.SetItemData(nIndex, PortNumberOfEntry(entries[i]));
    }
    if (nSelected != CB_ERR) {
        const auto it = std::find(entries.begin(), entries.end(), strSelected);
        ports.SetCurSel(static_cast<int>(it - entries.begin()));
    } else if (bAtStart || !entries.empty()) {
        // At start-up, and when the first ports come to a list that had none.
        SelectStartPort();
    }
}

bool CMainCtrlPage::OnPortsChanged() {
    if (!HasWindow())
        return true;
    // A sequence or an upload holds the port: the list changes when it has ended.
    if (m_link.State() != LINK_IDLE || m_link.IsBusy() || g_pConfigSheet->IsUploadRunning())
        return false;
    m_portNames.clear();
    EnumerateSerialPorts(&CMainCtrlPage::PortFound, 0);
    FillPortList(false);
    return true;
}

void CMainCtrlPage::OnCommand(int nId, int nCode) {
    if (nId == IDC_READ && nCode == BN_CLICKED)
        OnRead();
    if (nId == IDC_STORE && nCode == BN_CLICKED)
        OnStore();
    if (nId == IDC_LOAD_DEFAULTS && nCode == BN_CLICKED)
        OnLoadDefaults();
    if (nId == IDC_COMPORT && nCode == CBN_SELCHANGE)
        OnSelchangeComPort();
}

void CMainCtrlPage::OnRead() {
    if (m_link.StartRead())
        UpdateData(false);
}

void CMainCtrlPage::OnStore() {
    // Nothing while a sequence runs, not even the agreement.
    if (m_link.State() != LINK_IDLE)
        return;
    m_link.ClearIdentityTexts();
    UpdateData(false);
    SplashScreen agreement;
    // StartStore does nothing if a sequence began while the agreement was open.
    if (agreement.DoModal() == IDOK && agreement.m_bAgreed)
        m_link.StartStore();
}

void CMainCtrlPage::OnLoadDefaults() {
    ::LoadDefaults(Parameters());
    UpdateData(false);
}

void CMainCtrlPage::OnSelchangeComPort() {
    CControl& ports = *GetDlgItem(IDC_COMPORT);
    const std::wstring strEntry = ports.GetLBText(ports.GetCurSel());
    m_link.SetComPort(static_cast<int>(ports.GetItemData(ports.GetCurSel())));
    if (strEntry.find(m_strBluetoothMarker) != std::wstring::npos)
        ShowAttention(INCOMING_BLUETOOTH_ON_CHANGE);
    HandToFirmwarePage();
    SaveComPortSetting(m_link.ComPort());
    // The entry of a port that has gone leaves the list once another is picked.
    FillPortList(false);
}

void CMainCtrlPage::OnTimer(unsigned nIdEvent) {
    m_link.OnTimer(nIdEvent);
    // The identity texts and the status line follow every step.
    UpdateData(false);
}

bool CMainCtrlPage::OnKillActive() {
    // From the tap on, the sequence is about to take or holds the port: the user stays here
    // until it ends.
    if (m_link.State() != LINK_IDLE || m_link.IsBusy())
        return false;
    return CPropertyPage::OnKillActive();
}

void CMainCtrlPage::ShowAttention(const std::wstring& strText) {
    MessageBox(strText, L"Attention", MB_OK | MB_ICONEXCLAMATION);
}

void CMainCtrlPage::EnableLinkControls(bool bEnable) {
    if (!HasWindow())
        return;
    for (const int nId : {IDC_READ, IDC_STORE, IDC_LOAD_DEFAULTS, IDC_COMPORT})
        GetDlgItem(nId)->EnableWindow(bEnable);
}

void CMainCtrlPage::RefreshControls() {
    UpdateData(false);
}

GyroParameters& CMainCtrlPage::Parameters() {
    return g_pConfigSheet->m_gyroParameters;
}

void CMainCtrlPage::SequenceCompleted(bool bStore) {
    std::string strIdentity = FormatIdentityLines(m_link.Identity());
    // A Store does not ask for the product ID: unless a Read did, it is left out, not shown as 0.
    if (m_link.Identity().ProductId == 0)
        strIdentity.erase(0, strIdentity.find('\n') + 1);
    KeepParameterHistory(m_link.Identity().SerialNumber, bStore,
                         strIdentity + FormatParameterLines(Parameters()));
}

void CMainCtrlPage::HandToFirmwarePage() {
    g_pConfigSheet->SetFirmwareComPort(m_link.ComPort());
}
