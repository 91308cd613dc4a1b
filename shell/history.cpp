#include "shell/history.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <regex>
#include <tuple>

#include "platform/files.h"

namespace {

std::function<void(const std::string&)> g_report;
bool g_bTold = false;
std::function<int64_t()> g_clock;

// One history file as its name tells it.
struct HistoryEntry {
    std::string strName;
    int32_t nSerialNumber = 0;
    std::string strTime;  // YYYYMMDDTHHMMSSZ: sorts as the time does
    int nSequence = 1;    // the n-th event of the gyro in that second

    bool operator<(const HistoryEntry& other) const {
        return std::tie(strTime, nSequence, strName) <
               std::tie(other.strTime, other.nSequence, other.strName);
    }
};

bool Fail(const std::string& strWhy) {
    if (g_report && !g_bTold)
        g_report(strWhy);
    g_bTold = true;
    return false;
}

std::string Reason(int nError) {
    return nError == EPERM ? "not a folder of this user alone" : std::strerror(nError);
}

// The folder's history files, oldest first; other files are left alone.
std::vector<HistoryEntry> ReadEntries(const std::string& strFolder) {
    static const std::regex NAME(
        R"((-?[0-9]+)-([0-9]{8}T[0-9]{6}Z)-(read|store)(-([0-9]+))?\.txt)");
    std::vector<HistoryEntry> entries;
    DIR* pDir = opendir(strFolder.c_str());
    if (!pDir)
        return entries;
    while (const dirent* pEntry = readdir(pDir)) {
        std::cmatch match;
        if (!std::regex_match(pEntry->d_name, match, NAME))
            continue;
        HistoryEntry entry;
        entry.strName = pEntry->d_name;
        entry.nSerialNumber = static_cast<int32_t>(std::strtol(match[1].first, nullptr, 10));
        entry.strTime = match[2].str();
        if (match[5].matched)
            entry.nSequence = std::atoi(match[5].first);
        entries.push_back(entry);
    }
    closedir(pDir);
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

std::string HistoryFolder() {
    return platform::XdgUserFolder("XDG_STATE_HOME", ".local/state", "morvane/history");
}

bool KeepParameterHistory(int32_t nSerialNumber, bool bStore, const std::string& strText) {
    const std::string strFolder = HistoryFolder();
    if (strFolder.empty())
        return Fail("no folder: neither XDG_STATE_HOME nor HOME is set");
    if (const int nError = platform::MakeOwnFolder(strFolder))
        return Fail(strFolder + ": " + Reason(nError));

    const time_t nNow = static_cast<time_t>(HistoryNow());
    tm utc{};
    char szTime[32] = "";
    if (!gmtime_r(&nNow, &utc) || std::strftime(szTime, sizeof szTime, "%Y%m%dT%H%M%SZ", &utc) == 0)
        return Fail(strFolder + ": no time to name the file by");
    std::vector<HistoryEntry> entries = ReadEntries(strFolder);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const HistoryEntry& entry) {
                                     return entry.nSerialNumber != nSerialNumber;
                                 }),
                  entries.end());
    // Events of the same gyro within one second are numbered, never overwritten.
    int nSequence = 1;
    for (const HistoryEntry& entry : entries)
        if (entry.strTime == szTime)
            nSequence = std::max(nSequence, entry.nSequence + 1);
    const std::string strName = std::to_string(nSerialNumber) + "-" + szTime +
                                (bStore ? "-store" : "-read") +
                                (nSequence > 1 ? "-" + std::to_string(nSequence) : "") + ".txt";
    const std::string strPath = strFolder + "/" + strName;
    if (const int nError = platform::ReplaceFile(strPath, strText, 0600))
        return Fail(strPath + ": " + std::strerror(nError));

    entries.push_back({strName, nSerialNumber, szTime, nSequence});
    std::sort(entries.begin(), entries.end());
    for (size_t i = 0; i + HISTORY_KEPT < entries.size(); ++i)
        unlink((strFolder + "/" + entries[i].strName).c_str());
    return true;
}

void SetHistoryFailureReport(std::function<void(const std::string&)> report) {
    g_report = std::move(report);
    g_bTold = false;
}

void SetHistoryClock(std::function<int64_t()> clock) {
    g_clock = std::move(clock);
}

int64_t HistoryNow() {
    return g_clock ? g_clock() : static_cast<int64_t>(std::time(nullptr));
}

std::vector<std::string> ListParameterHistory() {
    const std::string strFolder = HistoryFolder();
    std::vector<std::string> paths;
    const std::vector<HistoryEntry> entries =
        strFolder.empty() ? std::vector<HistoryEntry>{} : ReadEntries(strFolder);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        paths.push_back(strFolder + "/" + it->strName);
    return paths;
}
