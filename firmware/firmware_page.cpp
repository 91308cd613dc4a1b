#include "firmware/firmware_page.h"

#include "res/resources.h"
#include "shell/splash.h"

using namespace platform::ui;

namespace {

const wchar_t SEND_FIRMWARE[] = L"Send Firmware";

}  // namespace

CTQ480FirmwarePage::CTQ480FirmwarePage()
    : CPropertyPage(IDD_FIRMWARE_PAGE), m_upload(*this, CurrentHost().Loop(), this) {}

void CTQ480FirmwarePage::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_NEW_VERSION, m_upload.m_strNewVersion);
    DDX_Text(pDX, IDC_PERCENT, m_upload.m_strPercent);
}

bool CTQ480FirmwarePage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    ResetFirmwarePage();
    return true;
}

void CTQ480FirmwarePage::OnCommand(int nId, int nCode) {
    if (nId == IDC_OPEN_FIRMWARE && nCode == BN_CLICKED)
        OnOpenFirmwareFile();
    if (nId == IDC_SEND_FIRMWARE && nCode == BN_CLICKED)
        OnSendFirmware();
}

void CTQ480FirmwarePage::OnOpenFirmwareFile() {
    GetDlgItem(IDC_DESCRIPTION)->ResetContent();
    GetDlgItem(IDC_SEND_FIRMWARE)->EnableWindow(false);
    m_upload.m_strNewVersion.clear();
    std::wstring strPath;
    if (!CurrentHost().RunFileOpenDialog(this, FIRMWARE_FILE_FILTER, strPath)) {
        UpdateData(false);
        return;
    }
    m_upload.m_strFirmwarePath = strPath;
    ReadFirmwareHeader(strPath);
}

void CTQ480FirmwarePage::ReadFirmwareHeader(const std::wstring& strPath) {
    CFirmwareFile file;
    if (!file.Open(strPath)) {
        ShowAttention(L"Unable to access the selected firmware file");
        UpdateData(false);
        return;
    }
    const FirmwareHeader header = ReadHeaderLines(file);
    // The records are checked here as well, so that a file that cannot be sent whole never
    // reaches the agreement; the upload checks them again before the first is sent.
    const bool bCorrupt = header.bCorrupt || (header.bComplete && !RecordsWellFormed(file));
    file.Close();
    for (const std::wstring& strRow : header.rows)
        GetDlgItem(IDC_DESCRIPTION)->AddString(strRow);
    if (header.strProductId)
        m_upload.m_strFileProductId = *header.strProductId;
    if (header.strVersion)
        m_upload.m_strNewVersion = *header.strVersion;
    // A file that ends inside its header lines is refused too: it holds nothing to send.
    if (bCorrupt) {
        ShowAttention(L"Corrupt firmware file found, download firmware again.");
        ResetFirmwarePage();
    } else {
        GetDlgItem(IDC_SEND_FIRMWARE)->EnableWindow(true);
    }
    UpdateData(false);
}

void CTQ480FirmwarePage::OnSendFirmware() {
    if (GetDlgItem(IDC_SEND_FIRMWARE)->GetWindowText().find(SEND_FIRMWARE) != std::wstring::npos) {
        DialogSplashFW agreement;
        if (agreement.DoModal() == IDOK && agreement.m_bAgreed)
            m_upload.Start();
        return;
    }
    // The upload goes on while the question is open, and may end before it is answered.
    if (MessageBox(L"Are you sure you want to stop sending?", L"Attention",
                   MB_YESNO | MB_ICONSTOP) == IDYES)
        m_upload.RequestStop();
}

void CTQ480FirmwarePage::OnTimer(unsigned nIdEvent) {
    m_upload.OnTimer(nIdEvent);
    // The percentage and the version box follow every step.
    UpdateData(false);
}

bool CTQ480FirmwarePage::OnKillActive() {
    // From the agreement on, the upload is about to take or holds the port: the user stays
    // here until it ends.
    if (m_upload.m_nUploadState != UPLOAD_IDLE || m_upload.m_bTransferActive)
        return false;
    return CPropertyPage::OnKillActive();
}

void CTQ480FirmwarePage::ResetFirmwarePage() {
    if (!HasWindow())
        return;
    GetDlgItem(IDC_OPEN_FIRMWARE)->EnableWindow(true);
    GetDlgItem(IDC_SEND_FIRMWARE)->SetWindowText(SEND_FIRMWARE);
    GetDlgItem(IDC_SEND_FIRMWARE)->EnableWindow(false);
    m_upload.m_strNewVersion.clear();
    GetDlgItem(IDC_DESCRIPTION)->ResetContent();
    m_upload.m_strPercent = L"0.0%";
    GetDlgItem(IDC_TRANSFER_PROGRESS)->SetPos(0);
    UpdateData(false);
}

void CTQ480FirmwarePage::ShowAttention(const std::wstring& strText) {
    MessageBox(strText, L"Attention", MB_OK | MB_ICONEXCLAMATION);
}

void CTQ480FirmwarePage::EnableOpenButton(bool bEnable) {
    GetDlgItem(IDC_OPEN_FIRMWARE)->EnableWindow(bEnable);
}

void CTQ480FirmwarePage::SetSendButtonText(const std::wstring& strText) {
    GetDlgItem(IDC_SEND_FIRMWARE)->SetWindowText(strText);
}

void CTQ480FirmwarePage::StartProgress(int nTotal) {
    CControl& progress = *GetDlgItem(IDC_TRANSFER_PROGRESS);
    progress.SetRange(0, nTotal);
    progress.SetPos(0);
    progress.SetStep(1);
}

void CTQ480FirmwarePage::StepProgress() {
    GetDlgItem(IDC_TRANSFER_PROGRESS)->StepIt();
}
