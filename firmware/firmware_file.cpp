#include "firmware/firmware_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cwchar>

#include "platform/files.h"

namespace {

constexpr int HEADER_LINES = 3;
// The version number starts at the sixth character of its line.
constexpr size_t VERSION_NUMBER_AT = 5;

bool IsBlank(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

// The version line's number as "%.02f" of the number times 0.01 in single precision. The
// number is read as atoi reads it (blanks, a sign, digits), from the sixth character of the
// line and from nothing beyond the line.
std::wstring VersionText(const std::wstring& strLine) {
    size_t i = VERSION_NUMBER_AT;
    while (i < strLine.size() && IsBlank(strLine[i]))
        ++i;
    bool bNegative = false;
    if (i < strLine.size() && (strLine[i] == L'+' || strLine[i] == L'-'))
        bNegative = strLine[i++] == L'-';
    long long nNumber = 0;
    for (; i < strLine.size() && strLine[i] >= L'0' && strLine[i] <= L'9'; ++i)
        nNumber = std::min<long long>(nNumber * 10 + (strLine[i] - L'0'), INT_MAX);
    const int nVersion = static_cast<int>(bNegative ? -nNumber : nNumber);
    const float fVersion = static_cast<float>(nVersion) * 0.01f;
    wchar_t text[32];
    std::swprintf(text, 32, L"%.02f", static_cast<double>(fVersion));
    return text;
}

}  // namespace

bool CFirmwareFile::Open(const std::wstring& strPath) {
    Close();
    // Without O_NONBLOCK a FIFO would hold the user interface until something writes to it.
    const int fd = open(platform::NativePath(strPath).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return false;
    }
    m_pFile = fdopen(fd, "rb");
    if (!m_pFile)
        close(fd);
    return m_pFile != nullptr;
}

void CFirmwareFile::Close() {
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
}

int CFirmwareFile::ReadByte() {
    // One thread owns the file: the stream's lock per byte would cost more than the byte.
    return m_pFile ? getc_unlocked(m_pFile) : -1;
}

size_t CFirmwareFile::Read(char* pBuffer, size_t nSize) {
    return m_pFile ? std::fread(pBuffer, 1, nSize, m_pFile) : 0;
}

int64_t CFirmwareFile::Position() const {
    return m_pFile ? static_cast<int64_t>(ftello(m_pFile)) : 0;
}

int64_t CFirmwareFile::Length() const {
    struct stat info {};
    if (!m_pFile || fstat(fileno(m_pFile), &info) != 0)
        return 0;
    return static_cast<int64_t>(info.st_size);
}

bool CFirmwareFile::Seek(int64_t nPosition) {
    return m_pFile && fseeko(m_pFile, static_cast<off_t>(nPosition), SEEK_SET) == 0;
}

FirmwareHeader ReadHeaderLines(CFirmwareFile& file) {
    FirmwareHeader header;
    std::wstring strRow;
    size_t nRowChars = 0;
    int nLine = 1;
    int64_t nLineBytes = 0;
    for (int nByte = file.ReadByte(); nByte >= 0; nByte = file.ReadByte()) {
        if (++nLineBytes > HEADER_LINE_BYTES_LIMIT) {
            header.bCorrupt = true;
            break;
        }
        const auto c = static_cast<wchar_t>(nByte);
        // The description breaks at the first blank after a full row; the blank is dropped.
        if (nLine == 1 && nRowChars >= DESCRIPTION_ROW_CHARS && c == L' ') {
            header.rows.push_back(strRow);
            strRow.clear();
            nRowChars = 0;
            continue;
        }
        strRow += c;
        ++nRowChars;
        if (c != L'\n')
            continue;
        if (nLine == 1) {
            // The line end is taken to be CR LF.
            strRow.erase(strRow.size() - std::min<size_t>(2, strRow.size()));
            header.rows.push_back(strRow);
        } else if (nLine == 2) {
            // The product ID is the four characters before CR LF, wherever the key stands.
            if (strRow.find(L"PID:") != std::wstring::npos)
                header.strProductId =
                    strRow.substr(strRow.size() - std::min<size_t>(6, strRow.size()), 4);
            else
                header.bCorrupt = true;
        } else {
            if (strRow.find(L"VER:") != std::wstring::npos)
                header.strVersion = VersionText(strRow);
            else
                header.bCorrupt = true;
            header.bComplete = true;
            break;
        }
        strRow.clear();
        nRowChars = 0;
        nLineBytes = 0;
        ++nLine;
    }
    // A file that ends inside its header lines is no firmware file.
    if (!header.bComplete)
        header.bCorrupt = true;
    return header;
}

bool SkipHeaderLines(CFirmwareFile& file) {
    int nLineEnds = 0;
    int64_t nLineBytes = 0;
    for (int nByte = file.ReadByte(); nByte >= 0 && ++nLineBytes <= HEADER_LINE_BYTES_LIMIT;
         nByte = file.ReadByte()) {
        if (nByte != '\n')
            continue;
        if (++nLineEnds == HEADER_LINES)
            return true;
        nLineBytes = 0;
    }
    return false;
}

bool RecordsWellFormed(CFirmwareFile& file) {
    const int64_t nStart = file.Position();
    bool bGood = true;
    int nColumn = 0;
    // A block at a time: a whole payload of any size is checked in one pass at memory speed.
    std::vector<char> buffer(64 * 1024);
    for (size_t nRead = 0; bGood && (nRead = file.Read(buffer.data(), buffer.size())) > 0;) {
        for (size_t i = 0; i < nRead && bGood; ++i) {
            const auto nByte = static_cast<unsigned char>(buffer[i]);
            if (nColumn < FIRMWARE_RECORD_CHARS)
                bGood = nByte >= 0x20 && nByte <= 0x7E;
            else if (nColumn == FIRMWARE_RECORD_CHARS)
                bGood = nByte == '\r';
            else
                bGood = nByte == '\n';
            nColumn = nColumn + 1 == FIRMWARE_RECORD_BYTES ? 0 : nColumn + 1;
        }
    }
    // A last line cut short would otherwise go unsent while the upload reported success.
    return file.Seek(nStart) && bGood && nColumn == 0;
}

const wchar_t* ProductName(const std::wstring& strProductId) {
    if (strProductId == L"0480")
        return L"tq480";
    if (strProductId == L"0390")
        return L"tq390";
    return nullptr;
}
