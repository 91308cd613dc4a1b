// The command-line companion: the very pages and sequences of the tool, driven on the
// headless backend as a person would drive them, for scripts and backups.
//
//   ports                      the port list, one entry a line
//   read COMn                  the identity and every parameter as Name=value lines
//   store COMn FILE --agree    stores the parameters of FILE (the output of read will do)
//   flash COMn FILE --agree    sends the firmware file FILE through the Firmware Update page,
//                              its percentage on the error stream once per whole percent
//
// Output is UTF-8. A message the tool would show in a box goes to the error stream as its
// exact text. The result is 0 only when the sequence ended with "Read Complete" or
// "Write Complete", or the upload with its success message; 2 for a command line or file
// that cannot be used.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/headless/headless_ui.h"

// Runs one command with the host already set up (real clock for people, virtual for tests).
int RunGyroCli(const std::vector<std::string>& args, platform::headless::HeadlessUiHost& host,
               std::ostream& out, std::ostream& err);
