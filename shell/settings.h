// The tool's one setting: the number of the COM port last chosen, kept in "morvane.ini" as the
// number's decimal digits and nothing else. The file lies beside the program; when it cannot
// be written there (an installed program in /usr/bin), it lies in the user's configuration
// folder instead: $XDG_CONFIG_HOME/morvane/morvane.ini, else ~/.config/morvane/morvane.ini.
// Loading and saving choose the same place.
#pragma once

// The stored port number; 0 when the file is missing, cannot be opened or does not start with
// a valid number (only its first 4 bytes count, and they must all be digits up to the first
// zero byte).
int LoadComPortSetting();

// Creates or empties the file and writes the number with "%i" (a negative number gets its
// sign). False when the file cannot be opened for writing.
bool SaveComPortSetting(int nComPort);
