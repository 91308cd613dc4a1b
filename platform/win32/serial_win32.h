// Serial devices on Windows through the communications API.
//
// A device is opened for exclusive use (no sharing) by its device path ("\\.\COM5"). At open
// it is set to 19200 8N1 in binary mode with no flow control and DTR and RTS held low, and
// its time-outs to "return at once with what has arrived"; the earlier line settings and
// time-outs come back at Close. Reads never wait; writes return when the driver took every
// byte. Failures set the last system error to the Windows error code.
#pragma once

#include <memory>
#include <string>

#include "platform/serial.h"

namespace platform {

// Null on failure with the last system error set (ERROR_ACCESS_DENIED when another program
// holds the port, ERROR_FILE_NOT_FOUND when there is no such port).
std::unique_ptr<SerialDevice> OpenWin32SerialDevice(const std::wstring& strDevicePath);

// The device path of "COMn:" or "COMn" (any letter case): "\\.\COMn"; empty for another name.
std::wstring Win32DevicePathFor(const std::string& strComName);

}  // namespace platform
