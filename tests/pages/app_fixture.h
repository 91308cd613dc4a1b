// The real property sheet on the headless backend, with a software gyro on COM1 through an
// in-memory line, a registry listing the ports, and the program's folder in a temporary
// directory. Tests act as a person would and look at what a person would see.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/config_sheet.h"
#include "firmware/firmware_page.h"
#include "pages/main_page.h"
#include "platform/files.h"
#include "platform/headless/headless_ui.h"
#include "platform/registry.h"
#include "platform/serial_memory.h"
#include "res/resources.h"
#include "shell/history.h"
#include "shell/splash.h"
#include "sim/fwr_file.h"
#include "sim/gyro_sim.h"

using Texts = std::vector<std::wstring>;
inline constexpr wchar_t CORRUPT[] = L"Corrupt firmware file found, download firmware again.";
inline constexpr wchar_t COMPLETED[] =
    L"The firmware update completed sucessfully.\n\nBefore you fly ensure the controls operate "
    L"correctly.";
inline constexpr wchar_t ABORTED[] =
    L"Programming aborted by user.\n\nDo not attempt to fly the gyro until a firmware update has "
    L"been sucessfully completed.";

class AppFixture : public ::testing::Test {
  public:
    AppFixture() {
        platform::ui::SetHost(&host);
        platform::ui::SetTemplateLookup(FindDialogTemplate);
        host.SetUnexpectedHandler([](const std::wstring& strWhat) {
            ADD_FAILURE() << "unexpected " << std::string(strWhat.begin(), strWhat.end());
        });
        gyro.AttachTo(line);
        opener.Attach("COM1:", &line);
        platform::SetSerialOpener(&opener);
        platform::SetRegistry(&registry);
        std::filesystem::create_directories(folder);
        platform::SetExecutablePathOverride((folder / "morvane-gyro-tools").string());
        // The history in the test's folder, its names from the virtual clock: 2026-12-07
        // 13:00:00 UTC when the test starts.
        setenv("XDG_STATE_HOME", (folder / "state").string().c_str(), 1);
        SetHistoryClock([this] { return 1796648400 + loop.NowMs() / 1000; });
    }
    ~AppFixture() override {
        if (pSheet)
            pSheet->Destroy();
        pSheet.reset();  // before the host and the line it uses
        platform::SetExecutablePathOverride(std::nullopt);
        SetHistoryClock(nullptr);
        platform::SetRegistry(nullptr);
        platform::SetSerialOpener(nullptr);
        platform::ui::SetHost(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // A built-in serial driver as the registry lists it.
    void AddPort(int nIndex, const std::wstring& strFriendly,
                 const std::wstring& strDll = L"serial_linux.dll") {
        const std::wstring strKey = L"Drivers\\BuiltIn\\Serial" + std::to_wstring(++m_nPorts);
        registry.SetString(strKey, L"PREFIX", L"COM");
        registry.SetDword(strKey, L"INDEX", static_cast<uint32_t>(nIndex));
        registry.SetString(strKey, L"FRIENDLYNAME", strFriendly);
        registry.SetString(strKey, L"Dll", strDll);
    }
    void WriteSettings(const std::string& strContent) {
        std::ofstream(folder / "morvane.ini", std::ios::binary) << strContent;
    }
    std::string ReadSettings() const {
        std::ifstream file(folder / "morvane.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // Every message box is answered with OK.
    void AnswerBoxes() {
        host.SetMessageBoxResponder([](const auto&) { return platform::ui::IDOK; });
    }

    // Starts the program's sheet as start-up does, Main page first.
    void Start() {
        pSheet =
            std::make_unique<CTQ480ConfigSheet>(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
        pSheet->Create();
    }
    CMainCtrlPage& Main() { return pSheet->m_mainPage; }
    platform::ui::CControl& Ctl(int nId) { return *Main().GetDlgItem(nId); }
    std::wstring Text(int nId) { return Ctl(nId).GetWindowText(); }
    // The loader's verdict on each record it took: "." accepted, "/" refused.
    std::string Verdicts() const {
        std::string strVerdicts;
        for (const sim::LoaderRecord& record : gyro.LoaderRecords())
            strVerdicts += record.bAccepted ? '.' : '/';
        return strVerdicts;
    }
    std::vector<std::wstring> BoxTexts() const {
        std::vector<std::wstring> texts;
        for (const auto& box : host.MessageBoxes())
            texts.push_back(box.strText);
        return texts;
    }

    platform::HeadlessEventLoop loop{platform::ClockKind::Virtual};
    platform::headless::HeadlessUiHost host{loop};
    platform::MemorySerialLine line{loop};
    sim::CGyroSimulator gyro{loop};
    platform::MemorySerialOpener opener;
    platform::MemoryRegistry registry;
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("morvane-app-" + std::to_string(getpid()) + "-" + std::to_string(++s_nFolder));
    std::unique_ptr<CTQ480ConfigSheet> pSheet;

  private:
    int m_nPorts = 0;
    static inline int s_nFolder = 0;
};

// The sheet with the gyro on COM1, the agreements answered ("I Agree" unless told otherwise),
// the file dialog giving `file` (empty: cancelled), every box held open nHoldMs while the line
// keeps talking ('.' and a byte above 0x7F) and timers fire: nothing may be sent meanwhile.
class SheetFixture : public AppFixture {
  public:
    SheetFixture() {
        AddPort(1, L"Simulated tq480 gyro");
        for (const int nId : {IDD_SPLASH, IDD_SPLASH_FW})
            host.SetDialogResponder(nId, [this](platform::ui::CDialog& d) {
                if (duringAgreement)
                    duringAgreement();
                // Enter ends the agreement with OK, but without "I Agree".
                bAgree ? CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE)) : CUserInput::PressEnter(d);
            });
        host.SetFileResponder([this](const std::wstring& strFilter, std::wstring& strPath) {
            EXPECT_EQ(strFilter, L"fwr (*.fwr)|*.fwr||");
            strPath = file.wstring();
            return !file.empty();
        });
        host.SetMessageBoxResponder([this](const platform::headless::ShownMessageBox& box) {
            using namespace platform::ui;
            const bool bQuestion = (box.nType & MB_TYPEMASK) == MB_YESNO;
            EXPECT_TRUE(bQuestion || (box.strCaption == L"Attention" &&
                                      box.nType == (MB_OK | MB_ICONEXCLAMATION)));
            const size_t nSent = line.SentByProgram().size();
            gyro.SetChatter(nHoldMs ? ".\xFF" : "");
            loop.RunFor(nHoldMs);
            gyro.SetChatter("");
            EXPECT_EQ(line.SentByProgram().size(), nSent) << "sent under an open box";
            if (onBox)
                onBox(box);
            return bQuestion ? nStopAnswer : IDOK;
        });
        Start();
    }
    using CUserInput = platform::ui::CUserInput;
    CTQ480FirmwarePage& Page() { return pSheet->m_firmwarePage; }
    CFirmwareUpload& Upload() { return Page().m_upload; }
    platform::ui::CControl& Fw(int nId) { return *Page().GetDlgItem(nId); }
    // Writes the file under the path given, or under a new name.
    std::wstring WriteFile(const sim::FirmwareFileRecipe& recipe, std::filesystem::path path = {}) {
        if (path.empty())
            path = folder / ("firmware-" + std::to_string(++m_nFiles) + ".fwr");
        std::ofstream out(path, std::ios::binary);
        sim::WriteFirmwareFile(recipe, out);
        return path.wstring();
    }
    void Open(const std::filesystem::path& path) {
        file = path;
        CUserInput::Tap(Fw(IDC_OPEN_FIRMWARE));
    }
    bool Over() {
        return Upload().m_nUploadState == UPLOAD_IDLE && !Upload().m_bTransferActive &&
               Main().m_link.State() == LINK_IDLE && !Main().m_link.IsBusy();
    }
    // What every ending leaves behind: nothing runs, nothing is held, the pilot has every
    // control back, and a Firmware Update page that was shown is without a file.
    void ExpectCleanEnding() {
        EXPECT_TRUE(Over());
        EXPECT_FALSE(line.IsProgramEndOpen());
        EXPECT_FALSE(Upload().m_firmwareFile.IsOpen());
        for (const unsigned nId :
             {TIMER_RESPONSE_TIMEOUT, TIMER_READ_STEP, TIMER_STORE_STEP, TIMER_RECEIVE_POLL})
            EXPECT_FALSE(loop.HasTimer(&Main(), nId)) << nId;
        for (const unsigned nId : {TIMER_UPLOAD_POLL, TIMER_UPLOAD_STEP, TIMER_UPLOAD_TIMEOUT})
            EXPECT_FALSE(loop.HasTimer(&Page(), nId)) << nId;
        for (const int nId : {IDC_READ, IDC_STORE, IDC_LOAD_DEFAULTS, IDC_COMPORT})
            EXPECT_TRUE(Ctl(nId).IsWindowEnabled()) << nId;
        EXPECT_TRUE(Main().OnKillActive());
        if (!Page().GetDlgItem(IDC_OPEN_FIRMWARE))
            return;
        EXPECT_TRUE(Fw(IDC_OPEN_FIRMWARE).IsWindowEnabled());
        EXPECT_FALSE(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled());
        EXPECT_EQ(Fw(IDC_SEND_FIRMWARE).GetWindowText(), L"Send Firmware");
        EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), 0);
        EXPECT_EQ(Fw(IDC_PERCENT).GetWindowText(), L"0.0%");
        EXPECT_EQ(Fw(IDC_TRANSFER_PROGRESS).GetPos(), 0);
    }

    std::filesystem::path file;
    std::function<void(const platform::headless::ShownMessageBox&)> onBox;
    std::function<void()> duringAgreement;
    int nStopAnswer = platform::ui::IDYES, nHoldMs = 0;
    bool bAgree = true;

  private:
    int m_nFiles = 0;
};
