// The application object: start-up shows the property sheet modally and ends the program
// when it closes.
#pragma once

class CGyroToolsApp {
  public:
    // Runs the sheet; returns false, which ends the program.
    bool InitInstance();
    // 0, or 128 + the signal that ended the program.
    int ExitStatus() const { return m_nExitStatus; }

  private:
    int m_nExitStatus = 0;
};

extern CGyroToolsApp theApp;
