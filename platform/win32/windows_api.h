// <windows.h> for the platform's Windows files, without the macros whose names the
// platform's own headers use for their own constants (the serial line settings' parity and
// RTS control values, which have other values there).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef PARITY_NONE
#undef PARITY_ODD
#undef PARITY_EVEN
#undef PARITY_MARK
#undef PARITY_SPACE
#undef RTS_CONTROL_TOGGLE
// The platform's own ReplaceFile (files.h), not the Windows function of that name.
#undef ReplaceFile
