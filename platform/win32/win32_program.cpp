#include "platform/win32/win32_program.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/session_signal.h"
#include "platform/win32/win32_event_loop.h"
#include "platform/win32/win32_ui_host.h"

namespace platform::win32 {

namespace {

// A later copy looks for the running copy's activation event this often while it starts up.
constexpr int ACTIVATION_TRIES = 40;
constexpr DWORD ACTIVATION_WAIT_MS = 250;
// A kernel object's name is at most MAX_PATH characters; the event's name adds its suffix.
const wchar_t ACTIVATION_SUFFIX[] = L"/activate";
constexpr size_t LOCK_NAME_LIMIT = MAX_PATH - 1 - (sizeof ACTIVATION_SUFFIX / sizeof(wchar_t) - 1);
constexpr int64_t SESSION_END_WAIT_MS = 4500;

// Brings the thread's visible windows to the front: the sheet, and any box or dialog over
// it, which stays on top.
BOOL CALLBACK BringForward(HWND hwnd, LPARAM lParam) {
    if (!IsWindowVisible(hwnd))
        return TRUE;
    if (IsIconic(hwnd))
        ShowWindow(hwnd, SW_RESTORE);
    // The topmost window that takes input: a box or dialog over the sheet, else the sheet.
    auto* pTarget = reinterpret_cast<HWND*>(lParam);
    if (!*pTarget && IsWindowEnabled(hwnd))
        *pTarget = hwnd;
    return TRUE;
}

void BringToFront() {
    HWND hTarget = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), BringForward, reinterpret_cast<LPARAM>(&hTarget));
    if (hTarget)
        SetForegroundWindow(hTarget);
}

std::wstring ExecutablePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD nLength =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (nLength < path.size())
            return std::wstring(path.data(), nLength);
        path.resize(path.size() * 2);
    }
}

}  // namespace

std::wstring OneCopyLockName(const std::wstring& strExecutablePath) {
    std::wstring strName = strExecutablePath;
    for (wchar_t& c : strName)
        if (c == L'\\')
            c = L'/';
    const std::wstring strPrefix = L"Local\\";
    if (strPrefix.size() + strName.size() > LOCK_NAME_LIMIT) {
        // FNV-1a of the whole path; the path's end (the program's own name) stays readable.
        uint64_t nHash = 1469598103934665603ull;
        for (const wchar_t c : strName) {
            nHash ^= static_cast<uint16_t>(c);
            nHash *= 1099511628211ull;
        }
        wchar_t szHash[17];
        std::swprintf(szHash, 17, L"%016llx", static_cast<unsigned long long>(nHash));
        const size_t nKeep = LOCK_NAME_LIMIT - strPrefix.size() - 17;
        strName = std::wstring(szHash) + L"-" + strName.substr(strName.size() - nKeep);
    }
    return strPrefix + strName;
}

void UseParentConsole() {
    const bool bOut = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN;
    const bool bErr = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) != FILE_TYPE_UNKNOWN;
    if ((bOut && bErr) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    FILE* pFile = nullptr;
    if (!bOut)
        _wfreopen_s(&pFile, L"CONOUT$", L"w", stdout);
    if (!bErr)
        _wfreopen_s(&pFile, L"CONOUT$", L"w", stderr);
}

int RunWin32Program(int argc, char** argv, const Win32ProgramSetup& setup) {
    if (argc > 1) {
        std::fprintf(stderr, "%s: unknown option \"%s\"; try '%s --help'\n", setup.pszProgramName,
                     argv[1], setup.pszProgramName);
        return 2;
    }
    // One copy per executable: the first holds a mutex named after its path, and an event
    // by which a later copy, which finds the mutex taken, asks it to come to the front. Both
    // are the session's, whatever desktop each copy runs on.
    const std::wstring strLock = OneCopyLockName(ExecutablePath());
    const std::wstring strActivation = strLock + ACTIVATION_SUFFIX;
    HANDLE hMutex = CreateMutexW(nullptr, FALSE, strLock.c_str());
    const bool bFirst = hMutex && GetLastError() != ERROR_ALREADY_EXISTS;
    if (!hMutex)
        std::fprintf(stderr, "%s: starting without the one-copy lock: error %lu\n",
                     setup.pszProgramName, GetLastError());
    HANDLE hActivation = nullptr;
    if (hMutex && !bFirst) {
        for (int i = 0; i < ACTIVATION_TRIES && !hActivation; ++i) {
            hActivation = OpenEventW(EVENT_MODIFY_STATE, FALSE, strActivation.c_str());
            if (!hActivation)
                ::Sleep(ACTIVATION_WAIT_MS);
        }
        if (hActivation) {
            AllowSetForegroundWindow(ASFW_ANY);
            SetEvent(hActivation);
            CloseHandle(hActivation);
            CloseHandle(hMutex);
            std::fprintf(stderr, "%s: already running; its window was brought to the front\n",
                         setup.pszProgramName);
            return 0;
        }
        // A copy that holds the lock but never answers is no copy to hand over to.
        std::fprintf(stderr, "%s: another copy holds the one-copy lock but does not answer\n",
                     setup.pszProgramName);
    }
    if (bFirst)
        hActivation = CreateEventW(nullptr, FALSE, FALSE, strActivation.c_str());

    int nResult = 0;
    {
        Win32EventLoop loop;
        // Windows ends the process once the session's end has been answered: the work under
        // way ends first, within the few seconds Windows allows.
        loop.SetSessionEnd([&loop] {
            if (QueueSignal(SIGTERM))
                loop.RunUntil([] { return !SignalWatchLives(); }, SESSION_END_WAIT_MS);
        });
        Win32UiHost host(loop);
        const int nActivationFd = static_cast<int>(reinterpret_cast<intptr_t>(hActivation));
        if (hActivation)
            loop.WatchDescriptor(nActivationFd, [] { BringToFront(); });
        // The executable's own icon at the sizes the system draws, else the resources' XPM.
        HINSTANCE hInstance = GetModuleHandleW(nullptr);
        auto loadIcon = [&](int nMetricX, int nMetricY) {
            return static_cast<HICON>(LoadImageW(hInstance, MAKEINTRESOURCEW(setup.nProgramIconId),
                                                 IMAGE_ICON, GetSystemMetrics(nMetricX),
                                                 GetSystemMetrics(nMetricY), LR_DEFAULTCOLOR));
        };
        HICON hIcon = loadIcon(SM_CXICON, SM_CYICON);
        HICON hSmallIcon = loadIcon(SM_CXSMICON, SM_CYSMICON);
        if (!hIcon && setup.icons)
            hIcon = IconFromXpm(setup.icons(setup.nProgramIconId));
        host.SetIcons(hIcon, hSmallIcon ? hSmallIcon : hIcon);
        ui::SetHost(&host);
        ui::SetTemplateLookup(setup.templates);
        if (setup.initInstance)
            setup.initInstance();
        ui::SetHost(nullptr);
        if (hActivation)
            loop.UnwatchDescriptor(nActivationFd);
        for (HICON hEach : {hIcon, hSmallIcon})
            if (hEach)
                DestroyIcon(hEach);
    }
    if (hActivation)
        CloseHandle(hActivation);
    if (hMutex)
        CloseHandle(hMutex);
    return nResult;
}

}  // namespace platform::win32
