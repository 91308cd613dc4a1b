// Firmware files (*.fwr): 8-bit text whose lines end in CR LF. Three header lines come first
// (a description, a "PID:" line ending in the four-character product ID, a "VER:" line with
// the version times 100 from its sixth character on), then the firmware records, 20 printable
// characters and CR LF each. Only the gyro's loader looks inside a record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// A record's text, and the record with its CR LF as it stands in the file.
constexpr int FIRMWARE_RECORD_CHARS = 20;
constexpr int FIRMWARE_RECORD_BYTES = 22;
// A description row ends at the first blank after this many characters.
constexpr size_t DESCRIPTION_ROW_CHARS = 35;
// The bytes of a header line read without meeting its line end, at most: a file whose header
// line runs on is not a firmware file, and reading on would hold the user interface and its
// memory for as long as it lasts. Far above any real description (some run to tens of
// thousands of characters).
constexpr int64_t HEADER_LINE_BYTES_LIMIT = 1024 * 1024;

// A firmware file opened read-only, read one byte at a time from the stream's buffer (one
// system call per buffer, not per byte).
class CFirmwareFile {
  public:
    CFirmwareFile() = default;
    ~CFirmwareFile() { Close(); }
    CFirmwareFile(const CFirmwareFile&) = delete;
    CFirmwareFile& operator=(const CFirmwareFile&) = delete;

    // False when the path names no regular file that can be read.
    bool Open(const std::wstring& strPath);
    void Close();
    bool IsOpen() const { return m_pFile != nullptr; }
    // The next byte 0..255, or -1 at the end of the file or on a read failure.
    int ReadByte();
    // Up to nSize bytes into pBuffer; fewer only at the end of the file or on a read failure.
    size_t Read(char* pBuffer, size_t nSize);
    int64_t Position() const;
    int64_t Length() const;
    bool Seek(int64_t nPosition);

  private:
    std::FILE* m_pFile = nullptr;
};

// What the three header lines gave.
struct FirmwareHeader {
    // The description wrapped into rows, in the order read.
    std::vector<std::wstring> rows;
    // The four characters before the CR LF of line 2, when line 2 ended and held "PID:".
    std::optional<std::wstring> strProductId;
    // The version as "%.02f", when line 3 ended and held "VER:".
    std::optional<std::wstring> strVersion;
    // Line 3 ended.
    bool bComplete = false;
    // Line 2 lacked "PID:" or line 3 lacked "VER:", the file ended inside the header lines, or
    // a header line ran past HEADER_LINE_BYTES_LIMIT (reading stopped there).
    bool bCorrupt = false;
};

// Reads the header lines from the start of the file, one byte at a time, and no further. Each
// byte stands for the character of the same code.
FirmwareHeader ReadHeaderLines(CFirmwareFile& file);

// Passes the three header lines; false when the file ends first or a line runs past the limit.
bool SkipHeaderLines(CFirmwareFile& file);

// True when everything from the current position to the end is whole records (20 printable
// characters and CR LF each). The position is left where it was.
bool RecordsWellFormed(CFirmwareFile& file);

// The product a product ID text stands for ("tq480", "tq390"); null when unknown.
const wchar_t* ProductName(const std::wstring& strProductId);
