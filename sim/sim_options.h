// The gyro-sim program's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/gyro_sim.h"

namespace sim {

constexpr char DEFAULT_PORT_NAME[] = "Simulated tq480 gyro";

struct SimOptions {
    std::string strName = DEFAULT_PORT_NAME;
    std::string strMemoryPath;    // empty: DefaultMemoryFilePath()
    std::string strFirmwarePath;  // empty: "gyro-sim-firmware" beside the memory file
    uint16_t nProductId = DEFAULT_PRODUCT_ID;
    uint16_t nMemoryMapVersion = DEFAULT_MEMORY_MAP_VERSION;
    GyroFaults faults;
    // The line's wires bridged: every byte the program sends comes back, the gyro hears none.
    bool bLoopback = false;
    // The pseudo-terminal behaves like a cable at 19200 baud 8N1: requests arrive, and answers
    // leave, one byte time (520.83 us) per byte; answers wait nAnswerDelayUs first.
    bool bLineModel = false;
    uint32_t nAnswerDelayUs = 0;
    bool bHelp = false;
    bool bVersion = false;
};

// The arguments after the program name; "--option VALUE" and "--option=VALUE" both work.
// False with a message on a bad option or value.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                     std::string& strError);
std::string SimUsage();

// A number on a command line: hex with "0x", else decimal; the whole text must be a number
// no greater than nMax.
std::optional<uint64_t> ParseSimNumber(const std::string& strText, uint64_t nMax);

// Bytes written as hex pairs ("00FF80"), any byte 0x00 included; nothing for an odd count or a
// character that is no hex digit.
std::optional<std::string> ParseSimHexBytes(const std::string& strHex);

}  // namespace sim
