// Given to every file of the Windows build before its own includes: the few POSIX spellings
// that the shared code uses for plain file work, in their Windows meaning.
#pragma once

// gmtime_r and localtime_r from MinGW's <time.h>.
#ifndef _POSIX_THREAD_SAFE_FUNCTIONS
#define _POSIX_THREAD_SAFE_FUNCTIONS 200112L
#endif
// access() as Windows can answer it: a folder has no execute right, so X_OK asks nothing.
#ifndef __USE_MINGW_ACCESS
#define __USE_MINGW_ACCESS
#endif

#ifdef __cplusplus
#include <cstdio>
#else
#include <stdio.h>
#endif
#include <fcntl.h>

// A descriptor that child processes do not inherit.
#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif
// Windows files have no non-blocking mode, and its file system no FIFOs that could hold an
// open: there is nothing to ask for, and nothing to take back with fcntl.
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#define F_GETFL 3
#define F_SETFL 4
static inline int fcntl(int /*fd*/, int /*nCommand*/, ...) {
    return 0;
}
#endif
// A trace file is opened without following a link and without becoming a terminal's
// controlling file: Windows' C library opens neither way, so there is nothing to ask for.
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef getc_unlocked
#define getc_unlocked _getc_nolock
#endif

// setenv and unsetenv (the tests set their own folders) through the C library's _putenv_s;
// an empty value removes a variable.
#include <stdlib.h>
static inline int setenv(const char* pszName, const char* pszValue, int nOverwrite) {
    if (!nOverwrite && getenv(pszName))
        return 0;
    return _putenv_s(pszName, pszValue);
}
static inline int unsetenv(const char* pszName) {
    return _putenv_s(pszName, "");
}
