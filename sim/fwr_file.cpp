#include "sim/fwr_file.h"

#include <cstdio>

namespace sim {

namespace {

constexpr size_t RECORD_BYTES = RECORD_TEXT_CHARS / 2;

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string FormatFirmwareRecord(const FirmwareRecord& record) {
    uint8_t bytes[RECORD_BYTES] = {record.nType, static_cast<uint8_t>(record.nNumber >> 8),
                                   static_cast<uint8_t>(record.nNumber)};
    unsigned nSum = bytes[0] + bytes[1] + bytes[2];
    for (size_t i = 0; i < record.data.size(); ++i) {
        bytes[3 + i] = record.data[i];
        nSum += record.data[i];
    }
    bytes[RECORD_BYTES - 1] = static_cast<uint8_t>(0x100 - (nSum & 0xFF));
    std::string strText;
    char pair[3];
    for (const uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        strText += pair;
    }
    return strText;
}

bool CheckFirmwareRecord(const std::string& strText, uint16_t nExpectedNumber,
                         FirmwareRecord& record) {
    if (strText.size() != RECORD_TEXT_CHARS)
        return false;
    uint8_t bytes[RECORD_BYTES];
    unsigned nSum = 0;
    for (size_t i = 0; i < RECORD_BYTES; ++i) {
        const int nHigh = HexDigit(strText[2 * i]);
        const int nLow = HexDigit(strText[2 * i + 1]);
        if (nHigh < 0 || nLow < 0)
            return false;
        bytes[i] = static_cast<uint8_t>(nHigh << 4 | nLow);
        nSum += bytes[i];
    }
    const auto nNumber = static_cast<uint16_t>(bytes[1] << 8 | bytes[2]);
    if ((nSum & 0xFF) != 0 || bytes[0] > RECORD_TYPE_END || nNumber != nExpectedNumber)
        return false;
    record.nType = bytes[0];
    record.nNumber = nNumber;
    for (size_t i = 0; i < record.data.size(); ++i)
        record.data[i] = bytes[3 + i];
    return true;
}

uint16_t FirmwareVersionWord(uint32_t nVersion) {
    const uint32_t nMajor = nVersion / 100 > 0xFF ? 0xFF : nVersion / 100;
    return static_cast<uint16_t>(nMajor << 8 | nVersion % 100);
}

void WriteFirmwareFile(const FirmwareFileRecipe& recipe, std::ostream& out) {
    const char* pLineEnd = recipe.bLfOnly ? "\n" : "\r\n";
    out << recipe.strDescription << pLineEnd;
    out << (recipe.bNoProductKey ? "ID: " : "PID: ") << recipe.strProductId << pLineEnd;
    out << (recipe.bNoVersionKey ? "V: " : "VER: ") << recipe.nVersion << pLineEnd;
    uint32_t nState = recipe.nSeed * 2654435761u + 1;
    for (uint32_t n = 1; n <= recipe.nRecords; ++n) {
        FirmwareRecord record;
        record.nNumber = static_cast<uint16_t>(n - 1);
        if (n == recipe.nRecords) {
            record.nType = RECORD_TYPE_END;
            const uint16_t nWord = FirmwareVersionWord(recipe.nVersion);
            record.data[0] = static_cast<uint8_t>(nWord >> 8);
            record.data[1] = static_cast<uint8_t>(nWord);
        } else {
            for (uint8_t& b : record.data) {
                nState = nState * 1664525u + 1013904223u;
                b = static_cast<uint8_t>(nState >> 24);
            }
        }
        std::string strText = FormatFirmwareRecord(record);
        if (n == recipe.nBadRecord)
            strText.back() = strText.back() == '0' ? '1' : '0';
        if (n == recipe.nShortRecord)
            strText.pop_back();
        out << strText;
        if (n < recipe.nRecords || !recipe.bCutLastLine)
            out << pLineEnd;
    }
}

}  // namespace sim
