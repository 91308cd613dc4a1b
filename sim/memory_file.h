// The gyro-sim program's parameter memory on disk, so that a store survives to the next run.
//
// A text file of sixteen lines, the words at 0x0100..0x011E in address order, each as four
// hex digits. Blank lines and lines starting with '#' are skipped.
#pragma once

#include <string>

#include "sim/gyro_sim.h"

namespace sim {

std::string FormatMemoryFile(const ParameterWords& words);
// False with the reason when the text is not exactly sixteen words of four hex digits.
bool ParseMemoryFile(const std::string& strText, ParameterWords& words, std::string& strError);

enum class MemoryLoad : uint8_t { LOADED, MISSING, INVALID };
// MISSING leaves the words alone; INVALID leaves them alone and says why.
MemoryLoad LoadMemoryFile(const std::string& strPath, ParameterWords& words, std::string& strError);
// Creates the folder when needed and replaces the file in one step.
bool SaveMemoryFile(const std::string& strPath, const ParameterWords& words, std::string& strError);

// $XDG_STATE_HOME/morvane/gyro-sim-memory, else ~/.local/state/morvane/gyro-sim-memory.
std::string DefaultMemoryFilePath();

}  // namespace sim
