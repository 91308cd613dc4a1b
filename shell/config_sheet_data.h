// What every page reaches through the one process-wide sheet pointer: the parameter record
// that the parameter pages show and the Read and Store sequences read and write, and the port
// number that the firmware upload uses. The sheet derives from this, so no page needs the
// sheet's own header.
#pragma once

#include "link/gyro_params.h"

class CConfigSheetData {
  public:
    // The parameter record in page units.
    GyroParameters m_gyroParameters;

    // The Main page keeps the Firmware Update page's port number equal to its own choice.
    virtual void SetFirmwareComPort(int nComPort) = 0;
    virtual int GetFirmwareComPort() const = 0;
    // A firmware upload holds the port.
    virtual bool IsUploadRunning() const = 0;

  protected:
    CConfigSheetData() = default;
    ~CConfigSheetData() = default;
};

// The one sheet, from its initialisation on; null before.
extern CConfigSheetData* g_pConfigSheet;
