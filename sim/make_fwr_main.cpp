// make-fwr: writes a firmware file (*.fwr) for the simulated gyro's loader, valid or broken on
// purpose, for demonstrations and tests.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "res/version.h"
#include "sim/fwr_file.h"
#include "sim/sim_options.h"

namespace {

constexpr int EXIT_BAD_OPTIONS = 2;

const char USAGE[] =
    "Usage: make-fwr [OPTION]... FILE\n"
    "Writes a firmware file for the simulated gyro (gyro-sim). FILE '-' is standard output.\n"
    "\n"
    "  --product ID        the product ID text after \"PID: \" (default 0480; 0390 is the tq390)\n"
    "  --fw-version N      the firmware version times 100 after \"VER: \" (default 123, 1.23)\n"
    "  --records N         record lines, the last one the end record (default 200)\n"
    "  --description TEXT  the first line\n"
    "  --seed N            varies the records' data bytes (default 1)\n"
    "broken on purpose:\n"
    "  --no-pid            line 2 without \"PID:\"\n"
    "  --no-ver            line 3 without \"VER:\"\n"
    "  --lf-only           lines end in LF without CR\n"
    "  --short-record N    record N (from 1) is one character short\n"
    "  --bad-record N      record N (from 1) fails the loader's checksum\n"
    "  --cut-last-line     the last record has no line end\n"
    "  --help              show this text\n"
    "  --version           show the program's version\n";

std::string ProductText(const std::string& strId) {
    if (strId == "0480")
        return "tq480";
    if (strId == "0390")
        return "tq390";
    return "product " + strId;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    sim::FirmwareFileRecipe recipe;
    std::string strOutput;
    bool bDescription = false;
    std::string strError;
    for (size_t i = 0; i < args.size() && strError.empty(); ++i) {
        const std::string& strArg = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 < args.size())
                return args[++i];
            strError = strArg + " needs a value";
            return {};
        };
        auto number = [&](uint32_t& nOut) {
            const std::string strValue = value();
            const auto nValue = sim::ParseSimNumber(strValue, 0xFFFFFFFF);
            if (nValue)
                nOut = static_cast<uint32_t>(*nValue);
            else if (strError.empty())
                strError = strArg + ": \"" + strValue + "\" is not a number";
        };
        if (strArg == "--help" || strArg == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (strArg == "--product") {
            recipe.strProductId = value();
        } else if (strArg == "--version") {
            std::printf("make-fwr %s\n", MORVANE_VERSION);
            return 0;
        } else if (strArg == "--fw-version") {
            number(recipe.nVersion);
        } else if (strArg == "--records") {
            number(recipe.nRecords);
        } else if (strArg == "--description") {
            recipe.strDescription = value();
            bDescription = true;
        } else if (strArg == "--seed") {
            number(recipe.nSeed);
        } else if (strArg == "--no-pid") {
            recipe.bNoProductKey = true;
        } else if (strArg == "--no-ver") {
            recipe.bNoVersionKey = true;
        } else if (strArg == "--lf-only") {
            recipe.bLfOnly = true;
        } else if (strArg == "--short-record") {
            number(recipe.nShortRecord);
        } else if (strArg == "--bad-record") {
            number(recipe.nBadRecord);
        } else if (strArg == "--cut-last-line") {
            recipe.bCutLastLine = true;
        } else if (strOutput.empty() && (strArg == "-" || strArg.rfind('-', 0) != 0)) {
            strOutput = strArg;
        } else {
            strError = "unexpected argument \"" + strArg + "\"";
        }
    }
    if (strError.empty() && strOutput.empty())
        strError = "no output file";
    if (!strError.empty()) {
        std::fprintf(stderr, "make-fwr: %s\nTry 'make-fwr --help'.\n", strError.c_str());
        return EXIT_BAD_OPTIONS;
    }
    if (!bDescription) {
        char version[16];
        std::snprintf(version, sizeof version, "%u.%02u", recipe.nVersion / 100,
                      recipe.nVersion % 100);
        recipe.strDescription = "Simulated firmware " + std::string(version) + " for the " +
                                ProductText(recipe.strProductId) + " gyro, " +
                                std::to_string(recipe.nRecords) + " records, made by make-fwr.";
    }

    if (strOutput == "-") {
        sim::WriteFirmwareFile(recipe, std::cout);
        return std::cout.flush() ? 0 : 1;
    }
    std::ofstream out(strOutput, std::ios::binary | std::ios::trunc);
    sim::WriteFirmwareFile(recipe, out);
    out.close();
    if (!out) {
        std::fprintf(stderr, "make-fwr: cannot write %s\n", strOutput.c_str());
        return 1;
    }
    return 0;
}
