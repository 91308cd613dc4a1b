// The parameter history: after every completed Read and every completed Store the parameter
// set is kept as a file in the companion's format (identity lines and Name=value lines), so
// that any earlier set can be stored back. The files lie in $XDG_STATE_HOME/morvane/history
// (else ~/.local/state/morvane/history), a folder of the user's alone, one file an event:
//   <serial number>-<UTC time YYYYMMDDTHHMMSSZ>-<read|store>.txt
// A second event of the same gyro within the same second gets "-2" before ".txt", a third
// "-3", and so on. The newest HISTORY_KEPT files of each gyro are kept, older ones removed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr size_t HISTORY_KEPT = 200;

// The history folder; empty when neither XDG_STATE_HOME nor HOME is set.
std::string HistoryFolder();

// Keeps one event's parameter set. A failure never ends anything: it is told once a run to
// the report set below, as "<folder or file>: <reason>", and false is returned.
bool KeepParameterHistory(int32_t nSerialNumber, bool bStore, const std::string& strText);

// Receives the reason when the history could not be kept; setting it also lets the next
// failure be told again. Without one, failures are not told.
void SetHistoryFailureReport(std::function<void(const std::string&)> report);

// The seconds since 1970 (UTC) that name the files; nullptr puts the system's clock back.
void SetHistoryClock(std::function<int64_t()> clock);

// That clock's seconds since 1970 (UTC) now, so that other records of an event agree with it.
int64_t HistoryNow();

// Every history file of every gyro, newest first.
std::vector<std::string> ListParameterHistory();
