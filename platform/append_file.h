// A file that a program adds lines to and never rewrites, such as a trace: opened for
// appending, created when missing (mode 0644 less the umask), never through a symbolic link.
// Each piece of text is written with one call and no buffer of the program's own, so what
// was written is in the file even when the program dies right after.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class CAppendFile {
  public:
    CAppendFile() = default;
    ~CAppendFile();
    CAppendFile(const CAppendFile&) = delete;
    CAppendFile& operator=(const CAppendFile&) = delete;

    // "-" is standard error. 0 when open, else the errno (ELOOP for a symbolic link, ENXIO
    // for a pipe that nobody reads).
    int Open(const std::string& strPath);
    bool IsOpen() const { return m_nFd >= 0; }
    // False when the text could not be written whole.
    bool Append(std::string_view strText);

  private:
    int m_nFd = -1;
    bool m_bOwned = false;
};

}  // namespace platform
