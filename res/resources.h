// The program's resources: dialog templates by number, the string table, the icon.
#pragma once

#include <string>

#include "platform/ui/dialog_template.h"

// Dialog template numbers.
enum : int {
    IDD_MAIN_PAGE = 103,
    IDD_COMMON_PAGE = 104,
    IDD_SERVO_PAGE = 105,
    IDD_MODE1_PAGE = 106,
    IDD_MODE2_PAGE = 107,
    IDD_FIRMWARE_PAGE = 132,
    IDD_SPLASH = 133,
    IDD_SPLASH_FW = 134,
};

// String table entries.
enum : int { IDS_SHEET_TITLE = 1 };

// Icon resources.
enum : int { IDR_MAINFRAME = 128 };

// Null when there is no such template.
const platform::ui::DialogTemplate* FindDialogTemplate(int nId);
// Empty when there is no such string.
std::wstring LoadResourceString(int nId);

// Icon 128 as XPM lines (the format both backends can read without extra libraries);
// null when there is no such icon.
const char* const* LoadIconXpm(int nId);
