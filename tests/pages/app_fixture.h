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
#include "platform/files.h"
#include "platform/headless/headless_ui.h"
#include "platform/registry.h"
#include "platform/serial_memory.h"
#include "res/resources.h"
#include "sim/gyro_sim.h"

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
    }
    ~AppFixture() override {
        if (pSheet)
            pSheet->Destroy();
        pSheet.reset();  // before the host and the line it uses
        platform::SetExecutablePathOverride(std::nullopt);
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
    // Every message box is answered with OK after the given time.
    void AnswerBoxesAfter(int nMs) {
        host.SetMessageBoxResponder([this, nMs](const platform::headless::ShownMessageBox&) {
            loop.RunFor(nMs);
            return platform::ui::IDOK;
        });
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
