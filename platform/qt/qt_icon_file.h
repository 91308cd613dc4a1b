// An icon given as XPM lines written as a PNG file of any size, for the desktop's icon theme.
#pragma once

namespace platform::qt {

// Whole multiples of the picture's size keep its pixels sharp; other sizes are smoothed.
// False when the XPM cannot be read or the file cannot be written.
bool SaveIconAsPng(const char* const* pXpm, int nSize, const char* pszPath);

}  // namespace platform::qt
