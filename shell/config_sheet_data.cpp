#include "shell/config_sheet_data.h"

CConfigSheetData* g_pConfigSheet = nullptr;
