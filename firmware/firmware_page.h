// The Firmware Update page: opens a firmware file and shows its description and version,
// sends it to the gyro after the firmware agreement with a progress bar and a percentage, and
// stops a running upload on request. It owns the upload and its timers.
#pragma once

#include <string>

#include "firmware/firmware_upload.h"
#include "platform/ui/ui.h"

enum : int {
    IDC_NEW_VERSION = 1035,
    IDC_SEND_FIRMWARE = 1040,
    IDC_OPEN_FIRMWARE = 1041,
    IDC_PERCENT = 1042,
    IDC_TRANSFER_PROGRESS = 1043,
    IDC_DESCRIPTION = 1045,
};

// The file type the file-open dialog offers, in the handheld's filter form.
inline constexpr wchar_t FIRMWARE_FILE_FILTER[] = L"fwr (*.fwr)|*.fwr||";

class CTQ480FirmwarePage : public platform::ui::CPropertyPage, private CFirmwareUploadOwner {
  public:
    CTQ480FirmwarePage();

    // The upload with the members it shares with this page (m_nComPort, m_nUploadState,
    // m_bTransferActive, the file's path and product ID, m_strNewVersion, m_strPercent).
    CFirmwareUpload m_upload;

    bool OnInitDialog() override;
    void DoDataExchange(platform::ui::CDataExchange* pDX) override;
    void OnCommand(int nId, int nCode) override;
    void OnTimer(unsigned nIdEvent) override;
    bool OnKillActive() override;

    void OnOpenFirmwareFile();
    void OnSendFirmware();
    // Reads the chosen file's header lines into the page and checks its records; enables
    // "Send Firmware" when the file may be sent.
    void ReadFirmwareHeader(const std::wstring& strPath);
    void ResetFirmwarePage() override;

  private:
    void ShowAttention(const std::wstring& strText) override;
    void EnableOpenButton(bool bEnable) override;
    void SetSendButtonText(const std::wstring& strText) override;
    void StartProgress(int nTotal) override;
    void StepProgress() override;
};
