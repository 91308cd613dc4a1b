// Discovery of the serial ports the system has registered, read from the registry, with the
// Bluetooth ports that listen for incoming connections flagged.
#pragma once

#include <cstdint>
#include <string>

struct SerialPortEntry {
    std::wstring PortName;      // such as COM1
    std::wstring FriendlyName;  // may be empty
    std::wstring SourceName;    // empty, "MS Bluetooth" or the device enumerator's key name
    bool IncomingBluetooth = false;
};

// Gets the caller's context and one port (valid during the call only); nonzero goes on,
// 0 ends the current scan.
using PortFoundCallback = int (*)(intptr_t nContext, const SerialPortEntry& entry);

// Reports every registered port to the callback, from the source that suits the running
// system (Windows CE: built-in drivers, then Microsoft Bluetooth ports), after one refresh of
// the registry (on Linux, one scan of the machine's ports). True on success, also
// with no port found; false with the thread's last error set to the registry error that ended
// the scan, 87 without a callback, or 1150 on a system it does not know.
bool EnumerateSerialPorts(PortFoundCallback pCallback, intptr_t nContext);
