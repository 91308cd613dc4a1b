// Serial devices on a Linux tty through termios.
//
// A device is opened for exclusive use: flock on the device inode (which also holds against
// root and against a second path to the same device) and TIOCEXCL. At open the tty is put in
// raw mode at 19200 8N1 with no flow control and DTR and RTS held low; the tty's earlier
// settings come back at Close. Reads never wait; writes return when the tty took every byte.
#pragma once

#include <termios.h>

#include <memory>
#include <string>

#include "platform/serial.h"

namespace platform {

// Null on failure with the last system error set: EBUSY when another holder has the device,
// ENOTTY when the path is not a tty, otherwise the errno of the failing call.
std::unique_ptr<SerialDevice> OpenTermiosDevice(const std::string& strPath);

// Puts tio in raw mode (no echo, no line editing, no translation, no signals, reads return at
// once) and applies every field of the record that termios carries: baud rate, byte size,
// parity, parity checking, stop bits, CTS flow, XON/XOFF and their characters. False with
// errno EINVAL, tio untouched, for values a tty cannot take: a rate with no termios constant,
// a byte size outside 5..8, 1.5 stop bits with more than 5 data bits or 2 with 5.
bool ApplyLineSettingsToTermios(const SerialLineSettings& settings, termios& tio);

// Sets the record's termios fields from tio and leaves its other fields as they are.
void ReadLineSettingsFromTermios(const termios& tio, SerialLineSettings& settings);

}  // namespace platform
