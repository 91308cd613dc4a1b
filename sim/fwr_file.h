// Firmware files (*.fwr) as the simulated gyro's loader knows them, and a writer for valid
// and broken ones (the make-fwr program, tests).
//
// A file is three header lines ("description", "PID: 0480", "VER: 123"), then one record a
// line, every line ending in CR LF. A record is 20 uppercase hex digits, ten bytes:
//   type (0x00 data, 0x01 end), record number (high, low, counting from 0 in file order),
//   six data bytes, checksum (all ten bytes add up to 0 modulo 256).
// The end record's first two data bytes are the new firmware version word (1.23 is 0x0117);
// the loader starts the new firmware when it has accepted it.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

namespace sim {

constexpr uint8_t RECORD_TYPE_DATA = 0x00;
constexpr uint8_t RECORD_TYPE_END = 0x01;
constexpr size_t RECORD_TEXT_CHARS = 20;
using RecordData = std::array<uint8_t, 6>;

struct FirmwareRecord {
    uint8_t nType = RECORD_TYPE_DATA;
    uint16_t nNumber = 0;
    RecordData data{};
};

// The record's 20 hex digits.
std::string FormatFirmwareRecord(const FirmwareRecord& record);
// The loader's check: 20 uppercase hex digits adding up to 0, a known type, and the record
// number it expects next. Fills the record when it passes.
bool CheckFirmwareRecord(const std::string& strText, uint16_t nExpectedNumber,
                         FirmwareRecord& record);

// The firmware version word for a version times 100 (123 is 1.23, word 0x0117).
uint16_t FirmwareVersionWord(uint32_t nVersion);

struct FirmwareFileRecipe {
    std::string strDescription = "Simulated tq480 firmware";
    std::string strProductId = "0480";
    uint32_t nVersion = 123;  // the version times 100
    // Record lines; the last of them is the end record.
    uint32_t nRecords = 200;
    uint32_t nSeed = 1;  // for the data bytes
    // Broken on purpose.
    bool bNoProductKey = false;  // line 2 without "PID:"
    bool bNoVersionKey = false;  // line 3 without "VER:"
    bool bLfOnly = false;        // every line ends in LF alone
    uint32_t nShortRecord = 0;   // this record (from 1) lacks its last character
    uint32_t nBadRecord = 0;     // this record (from 1) fails the loader's check
    bool bCutLastLine = false;   // the file ends inside the last record's line end
};

void WriteFirmwareFile(const FirmwareFileRecipe& recipe, std::ostream& out);

}  // namespace sim
