// The Windows user-interface headers for the native backend, without the macros whose names
// the dialog framework uses for its own constants (ui.h, dialog_template.h). Those constants
// have Windows' values, so the backend passes them to Windows as they are.
#pragma once

// <windows.h> comes first.
// clang-format off
#include "platform/win32/windows_api.h"
#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>
#include <shlobj.h>
#include <uxtheme.h>
// clang-format on

#undef IDOK
#undef IDCANCEL
#undef IDYES
#undef IDNO
#undef MB_OK
#undef MB_OKCANCEL
#undef MB_YESNO
#undef MB_ICONSTOP
#undef MB_ICONQUESTION
#undef MB_ICONEXCLAMATION
#undef MB_ICONINFORMATION
#undef MB_ICONMASK
#undef MB_TYPEMASK
#undef BN_CLICKED
#undef CBN_SELCHANGE
#undef LBN_SELCHANGE
#undef CBN_SETFOCUS
#undef CBN_KILLFOCUS
#undef CBN_CLOSEUP
#undef EN_SETFOCUS
#undef EN_KILLFOCUS
#undef EN_CHANGE
#undef CB_ERR
#undef TB_LINEUP
#undef TB_LINEDOWN
#undef TB_PAGEUP
#undef TB_PAGEDOWN
#undef TB_THUMBPOSITION
#undef TB_THUMBTRACK
#undef TB_TOP
#undef TB_BOTTOM
#undef TB_ENDTRACK
// Names of the framework's members that Windows defines as its A/W function macros.
#undef GetWindowText
#undef SetWindowText
#undef MessageBox
