// The command-line companion: the very pages and sequences of the tool, driven on the
// headless backend as a person would drive them, for scripts and backups.
//
//   ports [--watch]            the port list, one entry a line; --watch then gives a line
//                              for each entry that comes (+) or goes (-) until SIGINT or
//                              SIGTERM, which end it with 0
//   read COMn [FILE]           the identity and every parameter as Name=value lines
//   store COMn FILE --agree [--verify]
//                              stores the parameters of FILE (the output of read will do);
//                              --verify reads them back and compares every field
//   set COMn NAME=VALUE... --agree [--verify]
//                              reads the gyro, changes the named fields and stores all of them
//   flash COMn FILE --agree    sends the firmware file FILE through the Firmware Update page,
//                              its percentage on the error stream once per whole percent
//   history                    the kept parameter sets, newest first, one path a line
//   --help, --version
// Before the command, --trace FILE appends a wire trace (link/wire_trace.h) to FILE, "-" being
// the error stream; a FILE that cannot be opened ends the command with 2 before it starts.
//
// FILE "-" is the input or output stream; a FILE written is replaced whole, never cut short.
// Output is UTF-8. A message the tool would show in a box goes to the error stream as its
// exact text. The result is 0 only when the sequence ended with "Read Complete" or "Write
// Complete" (and, with --verify, the gyro holds every field as stored), or the upload with its
// success message; 1 also when read's FILE cannot be written; 2 for a command line or file
// that cannot be used; 3 when --verify finds fields the gyro holds otherwise; 128 + n when
// signal n ended the command (cli_signals.h).
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/headless/headless_ui.h"

// Runs one command with the host already set up (real clock for people, virtual for tests).
int RunGyroCli(const std::vector<std::string>& args, platform::headless::HeadlessUiHost& host,
               std::istream& in, std::ostream& out, std::ostream& err);
