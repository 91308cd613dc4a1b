#include "sim/sim_options.h"

#include <limits>
#include <optional>

namespace sim {

namespace {

// Hex with "0x", else decimal; the whole text must be a number within the limit.
std::optional<uint64_t> ParseNumber(const std::string& strText, uint64_t nMax) {
    std::string strDigits = strText;
    unsigned nBase = 10;
    if (strDigits.size() > 2 && strDigits[0] == '0' &&
        (strDigits[1] == 'x' || strDigits[1] == 'X')) {
        strDigits.erase(0, 2);
        nBase = 16;
    }
    if (strDigits.empty())
        return std::nullopt;
    uint64_t nValue = 0;
    for (const char c : strDigits) {
        unsigned nDigit = 0;
        if (c >= '0' && c <= '9')
            nDigit = static_cast<unsigned>(c - '0');
        else if (nBase == 16 && c >= 'a' && c <= 'f')
            nDigit = static_cast<unsigned>(c - 'a' + 10);
        else if (nBase == 16 && c >= 'A' && c <= 'F')
            nDigit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        nValue = nValue * nBase + nDigit;
        if (nValue > nMax)
            return std::nullopt;
    }
    return nValue;
}

}  // namespace

std::optional<uint64_t> ParseSimNumber(const std::string& strText, uint64_t nMax) {
    return ParseNumber(strText, nMax);
}

std::optional<std::string> ParseSimHexBytes(const std::string& strHex) {
    if (strHex.size() % 2 != 0)
        return std::nullopt;
    std::string strBytes;
    for (size_t i = 0; i < strHex.size(); i += 2) {
        const auto nByte = ParseNumber("0x" + strHex.substr(i, 2), 0xFF);
        if (!nByte)
            return std::nullopt;
        strBytes += static_cast<char>(*nByte);
    }
    return strBytes;
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                     std::string& strError) {
    constexpr uint64_t MAX_WORD = 0xFFFF;
    constexpr uint64_t MAX_COUNT = std::numeric_limits<int32_t>::max();
    constexpr uint64_t MAX_DELAY_MS = 3'600'000;

    for (size_t i = 0; i < args.size(); ++i) {
        std::string strOption = args[i];
        std::optional<std::string> value;
        const size_t nEquals = strOption.find('=');
        if (strOption.rfind("--", 0) == 0 && nEquals != std::string::npos) {
            value = strOption.substr(nEquals + 1);
            strOption.erase(nEquals);
        }
        auto takeValue = [&]() -> bool {
            if (value)
                return true;
            if (i + 1 >= args.size()) {
                strError = strOption + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto takeNumber = [&](uint64_t nMax, uint64_t& nOut) -> bool {
            if (!takeValue())
                return false;
            const auto nNumber = ParseNumber(*value, nMax);
            if (!nNumber) {
                strError = strOption + ": \"" + *value + "\" is not a number from 0 to " +
                           std::to_string(nMax);
                return false;
            }
            nOut = *nNumber;
            return true;
        };
        auto noValue = [&]() -> bool {
            if (!value)
                return true;
            strError = strOption + " takes no value";
            return false;
        };

        // Every request, or only those at the address after '=' (optional, so only after '=').
        auto takeTarget = [&](GyroFaultTarget& target) -> bool {
            uint64_t nAddress = 0;
            if (value && !takeNumber(MAX_WORD, nAddress))
                return false;
            target = value ? GyroFaultTarget::Address(static_cast<uint16_t>(nAddress))
                           : GyroFaultTarget::All();
            return true;
        };

        uint64_t nNumber = 0;
        if (strOption == "--help" || strOption == "-h") {
            if (!noValue())
                return false;
            options.bHelp = true;
        } else if (strOption == "--version") {
            if (!noValue())
                return false;
            options.bVersion = true;
        } else if (strOption == "--name") {
            if (!takeValue())
                return false;
            if (value->empty() || value->find('/') != std::string::npos || *value == "." ||
                *value == "..") {
                strError = "--name: \"" + *value + "\" cannot name a port (empty, '/', '.', '..')";
                return false;
            }
            options.strName = *value;
        } else if (strOption == "--memory") {
            if (!takeValue())
                return false;
            if (value->empty()) {
                strError = "--memory needs a file name";
                return false;
            }
            options.strMemoryPath = *value;
        } else if (strOption == "--firmware") {
            if (!takeValue())
                return false;
            if (value->empty()) {
                strError = "--firmware needs a file name";
                return false;
            }
            options.strFirmwarePath = *value;
        } else if (strOption == "--refuse-record") {
            if (!takeNumber(MAX_COUNT, nNumber))
                return false;
            options.faults.nRefuseRecord = static_cast<uint32_t>(nNumber);
        } else if (strOption == "--product") {
            if (!takeNumber(MAX_WORD, nNumber))
                return false;
            options.nProductId = static_cast<uint16_t>(nNumber);
        } else if (strOption == "--format") {
            if (!takeNumber(MAX_WORD, nNumber))
                return false;
            options.nMemoryMapVersion = static_cast<uint16_t>(nNumber);
        } else if (strOption == "--no-echo") {
            if (!noValue())
                return false;
            options.faults.bNoEcho = true;
        } else if (strOption == "--silent-after") {
            if (!takeNumber(MAX_COUNT, nNumber))
                return false;
            options.faults.nSilentAfter = static_cast<int32_t>(nNumber);
        } else if (strOption == "--disconnect-after") {
            if (!takeNumber(MAX_COUNT, nNumber))
                return false;
            options.faults.nDisconnectAfter = static_cast<int32_t>(nNumber);
        } else if (strOption == "--bad-checksum") {
            if (!takeTarget(options.faults.badChecksum))
                return false;
        } else if (strOption == "--keep-old-word") {
            if (!takeTarget(options.faults.keepOldWord))
                return false;
        } else if (strOption == "--noise") {
            if (!takeValue())
                return false;
            if (value->empty()) {
                strError = "--noise needs at least one character";
                return false;
            }
            options.faults.strNoise = *value;
            options.faults.noise = GyroFaultTarget::All();
        } else if (strOption == "--chatter") {
            if (!takeValue())
                return false;
            if (value->empty()) {
                strError = "--chatter needs at least one character";
                return false;
            }
            options.faults.strChatter = *value;
        } else if (strOption == "--chatter-bytes") {
            if (!takeValue())
                return false;
            const std::optional<std::string> bytes = ParseSimHexBytes(*value);
            if (!bytes || bytes->empty()) {
                strError = "--chatter-bytes: \"" + *value + "\" is not pairs of hex digits";
                return false;
            }
            options.faults.strChatter = *bytes;
        } else if (strOption == "--loopback") {
            if (!noValue())
                return false;
            options.bLoopback = true;
        } else if (strOption == "--line-model") {
            if (!noValue())
                return false;
            options.bLineModel = true;
        } else if (strOption == "--answer-delay-us") {
            if (!takeNumber(MAX_DELAY_MS, nNumber))
                return false;
            options.nAnswerDelayUs = static_cast<uint32_t>(nNumber);
            options.bLineModel = true;
        } else if (strOption == "--zero-bytes") {
            if (!noValue())
                return false;
            options.faults.zeroByte = GyroFaultTarget::All();
        } else if (strOption == "--delay") {
            if (!takeNumber(MAX_DELAY_MS, nNumber))
                return false;
            options.faults.nDelayMs = static_cast<uint32_t>(nNumber);
            options.faults.delay = GyroFaultTarget::All();
        } else {
            strError = "unknown option \"" + args[i] + "\"";
            return false;
        }
    }
    return true;
}

std::string SimUsage() {
    return "Usage: gyro-sim [OPTION]...\n"
           "A software tq480 gyro on a pseudo-terminal. Prints the terminal's path as its\n"
           "first line and publishes it as a port the configuration tool lists.\n"
           "\n"
           "  --name NAME            port name shown by the tool (default \"" +
           std::string(DEFAULT_PORT_NAME) +
           "\")\n"
           "  --memory FILE          parameter memory kept across runs (default\n"
           "                         $XDG_STATE_HOME/morvane/gyro-sim-memory)\n"
           "  --firmware FILE        the records of the latest firmware upload with the\n"
           "                         loader's verdicts (default: gyro-sim-firmware beside\n"
           "                         the memory file)\n"
           "  --line-model           pace the terminal like a cable at 19200 baud 8N1: a\n"
           "                         request is heard when its last byte has crossed the\n"
           "                         line, answers leave at 520.83 us a byte\n"
           "  --answer-delay-us N    with the line model, N microseconds before each answer\n"
           "                         starts (implies --line-model)\n"
           "  --product ID           product ID word, e.g. 0x0390 (default 0x0480)\n"
           "  --format N             configuration format word (default 3)\n"
           "faults:\n"
           "  --no-echo              do not echo the wake-up string\n"
           "  --silent-after N       answer N requests, then say nothing more\n"
           "  --disconnect-after N   answer N requests, then close the terminal and exit\n"
           "  --bad-checksum[=ADDR]  corrupt the checksum of every read answer, or at ADDR\n"
           "  --keep-old-word[=ADDR] acknowledge every write, or those at ADDR, but keep\n"
           "                         the old word\n"
           "  --noise STRING         send STRING before every answer\n"
           "  --zero-bytes           put a 0x00 byte after the 9-character prefix of answers\n"
           "  --delay MS             wait MS milliseconds before each answer\n"
           "  --refuse-record N      the loader refuses record N of every upload (from 1)\n"
           "  --chatter STRING       send STRING every 10 ms, like a GPS on the wrong port\n"
           "  --chatter-bytes HEX    the same with bytes given as hex pairs, 00 and 80..FF too\n"
           "  --loopback             send back every byte the program sends and answer\n"
           "                         nothing, like a line with its wires bridged\n"
           "  --help                 show this text\n"
           "  --version              show the program's version\n"
           "\n"
           "Requests are counted for --silent-after and --disconnect-after whatever they are:\n"
           "reads, writes, the loader's two start commands and each record.\n"
           "Numbers are decimal, or hex with 0x. Ctrl-C ends the simulator and removes its port.\n";
}

}  // namespace sim
