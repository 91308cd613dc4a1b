#include "sim/memory_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

namespace fs = std::filesystem;

constexpr size_t WORD_DIGITS = 4;

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string Trimmed(const std::string& str) {
    const char* pSpace = " \t\r";
    const size_t nFirst = str.find_first_not_of(pSpace);
    if (nFirst == std::string::npos)
        return {};
    return str.substr(nFirst, str.find_last_not_of(pSpace) - nFirst + 1);
}

}  // namespace

std::string FormatMemoryFile(const ParameterWords& words) {
    std::string strText = "# gyro-sim parameter memory: the words at 0x0100..0x011E\n";
    for (const uint16_t nWord : words) {
        char line[8];
        std::snprintf(line, sizeof line, "%04X\n", nWord);
        strText += line;
    }
    return strText;
}

bool ParseMemoryFile(const std::string& strText, ParameterWords& words, std::string& strError) {
    ParameterWords parsed{};
    size_t nCount = 0;
    size_t nLine = 0;
    std::istringstream in(strText);
    std::string strRaw;
    while (std::getline(in, strRaw)) {
        ++nLine;
        const std::string strLine = Trimmed(strRaw);
        if (strLine.empty() || strLine[0] == '#')
            continue;
        unsigned nWord = 0;
        bool bGood = strLine.size() == WORD_DIGITS;
        for (size_t i = 0; bGood && i < WORD_DIGITS; ++i) {
            const int nDigit = HexDigitValue(strLine[i]);
            bGood = nDigit >= 0;
            nWord = nWord << 4 | static_cast<unsigned>(nDigit);
        }
        if (!bGood) {
            strError = "line " + std::to_string(nLine) + ": \"" + strLine +
                       "\" is not a word of four hex digits";
            return false;
        }
        if (nCount == PARAMETER_WORDS) {
            strError = "line " + std::to_string(nLine) + ": more than " +
                       std::to_string(PARAMETER_WORDS) + " words";
            return false;
        }
        parsed[nCount++] = static_cast<uint16_t>(nWord);
    }
    if (nCount != PARAMETER_WORDS) {
        strError =
            std::to_string(PARAMETER_WORDS) + " words expected, found " + std::to_string(nCount);
        return false;
    }
    words = parsed;
    return true;
}

MemoryLoad LoadMemoryFile(const std::string& strPath, ParameterWords& words,
                          std::string& strError) {
    std::ifstream in(strPath, std::ios::binary);
    if (!in) {
        if (errno == ENOENT)
            return MemoryLoad::MISSING;
        strError = strPath + ": " + std::strerror(errno);
        return MemoryLoad::INVALID;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!ParseMemoryFile(text.str(), words, strError)) {
        strError = strPath + ": " + strError;
        return MemoryLoad::INVALID;
    }
    return MemoryLoad::LOADED;
}

bool SaveMemoryFile(const std::string& strPath, const ParameterWords& words,
                    std::string& strError) {
    std::error_code ec;
    const fs::path path(strPath);
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), ec);
    if (ec) {
        strError = path.parent_path().string() + ": " + ec.message();
        return false;
    }
    // Written beside the file and renamed over it: a crash leaves the old memory or the new.
    const std::string strTemp = strPath + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(strTemp, std::ios::binary | std::ios::trunc);
        out << FormatMemoryFile(words);
        out.flush();
        if (!out) {
            strError = strTemp + ": " + std::strerror(errno);
            out.close();
            std::remove(strTemp.c_str());
            return false;
        }
    }
    fs::rename(strTemp, path, ec);
    if (ec) {
        strError = strPath + ": " + ec.message();
        std::remove(strTemp.c_str());
        return false;
    }
    return true;
}

}  // namespace sim
