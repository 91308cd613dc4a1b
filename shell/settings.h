// The tool's one setting: the number of the COM port last chosen, kept in "morvane.ini" as the
// number's decimal digits and nothing else. The file lies beside the program; when it cannot
// be replaced there (an installed program in /usr/bin, or a file the pilot made read-only to
// keep a port), it lies in the user's configuration folder instead:
// $XDG_CONFIG_HOME/morvane/morvane.ini, else ~/.config/morvane/morvane.ini. Until the user has
// a file of their own, the one beside the program is read. A save replaces the file whole
// (written aside, flushed, renamed over it), never truncating it in place.
#pragma once

// The stored port number; 0 when the file is missing, cannot be opened or does not start with
// a valid number (only its first 4 bytes count, and they must all be digits up to the first
// zero byte).
int LoadComPortSetting();

// Replaces the file by one holding the number written with "%i" (a negative number gets its
// sign). False when it cannot be written; the old file then stays as it was.
bool SaveComPortSetting(int nComPort);
