// The gyro-sim program's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/gyro_sim.h"

namespace sim {

constexpr char DEFAULT_PORT_NAME[] = "Simulated tq480 gyro";

struct SimOptions {
    std::string strName = DEFAULT_PORT_NAME;
    std::string strMemoryPath;  // empty: DefaultMemoryFilePath()
    uint16_t nProductId = DEFAULT_PRODUCT_ID;
    uint16_t nMemoryMapVersion = DEFAULT_MEMORY_MAP_VERSION;
    GyroFaults faults;
    bool bHelp = false;
};

// The arguments after the program name; "--option VALUE" and "--option=VALUE" both work.
// False with a message on a bad option or value.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                     std::string& strError);
std::string SimUsage();

}  // namespace sim
