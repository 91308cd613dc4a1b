// Files and paths on Windows. Paths are UTF-8 in the program and wide at each system call;
// both separators are taken. The user's folders: %APPDATA%\Morvane for settings, and
// %LOCALAPPDATA%\Morvane for what a program keeps (its history), unless the variable that the
// Linux programs follow is set (the tests set it to keep to their own folders).
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/files_system.h"
#include "platform/text.h"
#include "platform/win32/windows_api.h"
// After <windows.h>.
#include <aclapi.h>

namespace platform {

namespace {

std::wstring Wide(const std::string& strPath) {
    return WideFromUtf8(strPath);
}

// The errno value that says the same as a Windows error code.
int ErrnoFor(DWORD nCode) {
    switch (nCode) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

int LastErrno() {
    return ErrnoFor(GetLastError());
}

std::string FolderOf(const std::string& strPath) {
    const size_t nSlash = strPath.find_last_of("/\\");
    if (nSlash == std::string::npos)
        return ".";
    // "C:\" and "\" keep their separator: they name the root.
    if (nSlash == 0 || (nSlash == 2 && strPath[1] == ':'))
        return strPath.substr(0, nSlash + 1);
    return strPath.substr(0, nSlash);
}

int WriteAll(HANDLE hFile, const std::string& strContent) {
    for (size_t nDone = 0; nDone < strContent.size();) {
        const DWORD nChunk =
            static_cast<DWORD>(std::min<size_t>(strContent.size() - nDone, 1u << 20));
        DWORD nWritten = 0;
        if (!WriteFile(hFile, strContent.data() + nDone, nChunk, &nWritten, nullptr))
            return LastErrno();
        if (nWritten == 0)
            return EIO;
        nDone += nWritten;
    }
    return 0;
}

}  // namespace

int MakeFolders(const std::string& strFolder) {
    if (CreateDirectoryW(Wide(strFolder).c_str(), nullptr) ||
        GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    if (GetLastError() != ERROR_PATH_NOT_FOUND)
        return LastErrno();
    const std::string strParent = FolderOf(strFolder);
    if (strParent == strFolder || strParent.size() >= strFolder.size())
        return ENOENT;
    if (const int nError = MakeFolders(strParent); nError != 0)
        return nError;
    return CreateDirectoryW(Wide(strFolder).c_str(), nullptr) ||
                   GetLastError() == ERROR_ALREADY_EXISTS
               ? 0
               : LastErrno();
}

namespace {

// "morvane/history" under a Windows folder: "Morvane\history", as Windows programs name theirs.
std::string WindowsTail(const std::string& strTail) {
    std::string strResult = strTail;
    if (strResult.rfind("morvane", 0) == 0)
        strResult[0] = 'M';
    for (char& c : strResult)
        if (c == '/')
            c = '\\';
    return strResult;
}

}  // namespace

std::string RunningProgramPath() {
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD nLength =
            GetModuleFileNameW(nullptr, strPath.data(), static_cast<DWORD>(strPath.size()));
        if (nLength == 0)
            return {};
        if (nLength < strPath.size()) {
            strPath.resize(nLength);
            return Utf8FromWide(strPath);
        }
        // Cut: try again with more room.
        strPath.resize(strPath.size() * 2);
    }
}

int ReplaceFile(const std::string& strPath, const std::string& strContent, mode_t /*nMode*/) {
    const std::wstring strWide = Wide(strPath);
    // A device (NUL, CON, a pipe) holds nothing to keep: written to directly.
    HANDLE hExisting =
        CreateFileW(strWide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (hExisting != INVALID_HANDLE_VALUE) {
        if (GetFileType(hExisting) != FILE_TYPE_DISK) {
            const int nError = WriteAll(hExisting, strContent);
            CloseHandle(hExisting);
            return nError;
        }
        CloseHandle(hExisting);
    }
    const DWORD nAttributes = GetFileAttributesW(strWide.c_str());
    if (nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return EISDIR;
    // The file aside: a new name in the same folder, so that the move stays on one volume
    // and replaces the old file in one step.
    const std::string strAside = strPath + ".new" + std::to_string(GetCurrentProcessId());
    const std::wstring strAsideWide = Wide(strAside);
    HANDLE hFile = CreateFileW(strAsideWide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return LastErrno();
    int nError = WriteAll(hFile, strContent);
    if (nError == 0 && !FlushFileBuffers(hFile))
        nError = LastErrno();
    if (!CloseHandle(hFile) && nError == 0)
        nError = LastErrno();
    if (nError == 0 && !MoveFileExW(strAsideWide.c_str(), strWide.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        nError = LastErrno();
    if (nError != 0)
        DeleteFileW(strAsideWide.c_str());
    return nError;
}

// A real folder, not a link or junction put in its place. Who may write to it is left to the
// folder's access list, which Windows gives the user's profile folders for the user alone.
namespace {

// The user this process runs as; false when the token cannot be read.
bool CurrentUserSid(std::vector<BYTE>& sid) {
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return false;
    DWORD nBytes = 0;
    GetTokenInformation(hToken, TokenUser, nullptr, 0, &nBytes);
    std::vector<BYTE> user(nBytes);
    const bool bRead =
        nBytes != 0 && GetTokenInformation(hToken, TokenUser, user.data(), nBytes, &nBytes);
    CloseHandle(hToken);
    if (!bRead)
        return false;
    const PSID pSid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    sid.assign(static_cast<BYTE*>(pSid), static_cast<BYTE*>(pSid) + GetLengthSid(pSid));
    return true;
}

// The current user, and those who may change anything anyway: the Administrators and the
// system. CREATOR OWNER stands for whoever creates a file in the folder, in ACEs that only
// the folder's new files inherit.
bool TrustedSid(PSID pSid, const std::vector<BYTE>& user) {
    return EqualSid(pSid, const_cast<BYTE*>(user.data())) ||
           IsWellKnownSid(pSid, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(pSid, WinLocalSystemSid) || IsWellKnownSid(pSid, WinCreatorOwnerSid);
}

// Rights that change a folder or what it holds: add or remove files, write its attributes,
// delete it, change its permissions or owner.
constexpr ACCESS_MASK CHANGING_RIGHTS = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA |
                                        FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// No one but a trusted account is granted a right that changes the folder or, through
// inheritance, the files made in it. A missing DACL grants everyone everything.
bool DaclTrusted(PACL pDacl, const std::vector<BYTE>& user) {
    if (!pDacl)
        return false;
    ACL_SIZE_INFORMATION size{};
    if (!GetAclInformation(pDacl, &size, sizeof size, AclSizeInformation))
        return false;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* pAce = nullptr;
        if (!GetAce(pDacl, i, &pAce))
            return false;
        const auto* pHeader = static_cast<const ACE_HEADER*>(pAce);
        if (pHeader->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;  // denials take nothing away from the user
        const auto* pAllowed = static_cast<ACCESS_ALLOWED_ACE*>(pAce);
        PSID pSid = const_cast<DWORD*>(&pAllowed->SidStart);
        if ((pAllowed->Mask & CHANGING_RIGHTS) != 0 && !TrustedSid(pSid, user))
            return false;
    }
    return true;
}

}  // namespace

int OwnFolderTrusted(const std::string& strFolder) {
    const std::wstring strWide = Wide(strFolder);
    const DWORD nAttributes = GetFileAttributesW(strWide.c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES)
        return LastErrno();
    if (!(nAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    if (nAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EPERM;
    // Owned by this user (or the Administrators or the system, as folders made by an elevated
    // program are), and open to changes by no one else.
    std::vector<BYTE> user;
    if (!CurrentUserSid(user))
        return LastErrno();
    PSID pOwner = nullptr;
    PACL pDacl = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    const DWORD nResult = GetNamedSecurityInfoW(
        strWide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        &pOwner, nullptr, &pDacl, nullptr, &pDescriptor);
    if (nResult != ERROR_SUCCESS)
        return ErrnoFor(nResult);
    const bool bTrusted = pOwner && !IsWellKnownSid(pOwner, WinCreatorOwnerSid) &&
                          TrustedSid(pOwner, user) && DaclTrusted(pDacl, user);
    LocalFree(pDescriptor);
    return bTrusted ? 0 : EPERM;
}

std::string XdgUserFolder(const char* pszVariable, const std::string& strUnderHome,
                          const std::string& strTail) {
    const char* pFolder = std::getenv(pszVariable);
    if (pFolder && *pFolder)
        return std::string(pFolder) + "/" + strTail;
    // Settings roam with the user; what a program keeps stays on the machine.
    const char* pBase = std::getenv(strUnderHome == ".config" ? "APPDATA" : "LOCALAPPDATA");
    if (pBase && *pBase)
        return std::string(pBase) + "\\" + WindowsTail(strTail);
    return {};
}

// UTF-8, the program's own encoding for paths; a UTF-16 pair is one character.
std::string NativePath(const std::wstring& strPath) {
    return Utf8FromWide(strPath);
}

}  // namespace platform
