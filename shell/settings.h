// The tool's one setting: the number of the COM port last chosen, kept in "morvane.ini"
// beside the program as the number's decimal digits and nothing else.
#pragma once

// The stored port number; 0 when the file is missing, cannot be opened or does not start with
// a valid number (only its first 4 bytes count, and they must all be digits up to the first
// zero byte).
int LoadComPortSetting();

// Creates or empties the file and writes the number with "%i" (a negative number gets its
// sign). False when the file cannot be opened for writing.
bool SaveComPortSetting(int nComPort);
