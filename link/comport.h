// The serial port channel: the one way the program talks to the gyro. Eight numbered ports
// (index 0 is COM1 .. index 7 is COM8), opened with fixed line settings (19200 baud 8N1,
// DTR and RTS inactive, no flow control), written in one go, read one byte at a time
// without ever waiting, and closed again. Failures come back as the negative codes below.
#pragma once

#include <cstdint>

enum : int32_t {
    COMPORT_BAD_INDEX = -1,       // index outside 0..7
    COMPORT_NOT_OPEN = -3,        // the slot is closed
    COMPORT_NO_DATA = -100,       // no received byte is waiting
    COMPORT_BAD_ARGUMENT = -101,  // nothing to write
    COMPORT_SYSTEM_ERROR = -103,  // a platform call failed; its code is kept for the text
};

constexpr int COMPORT_COUNT = 8;
// The driver buffer sizes every caller asks for.
constexpr int COMPORT_BUFFER_SIZE = 64;

// 0 when the port is open and configured. A failure after the device was opened leaves the
// slot open with COMPORT_SYSTEM_ERROR: the caller closes it.
int32_t ComPortOpen(int nIndex, int nInBufferSize, int nOutBufferSize);
// The release result (nonzero = released), COMPORT_BAD_INDEX or COMPORT_NOT_OPEN.
int32_t ComPortClose(int nIndex);
// The number of bytes written, or a code.
int32_t ComPortWrite(int nIndex, const void* pBuffer, uint32_t nCount);
// The next received byte 0..255, COMPORT_NO_DATA when none waits, or another code.
int32_t ComPortReadByte(int nIndex);
// Fills the buffer with the system's text for the last stored error (cut to the capacity,
// always terminated) and returns that code; COMPORT_BAD_INDEX for a bad index.
int32_t ComPortErrorText(int nIndex, wchar_t* pText, int nCapacity);
