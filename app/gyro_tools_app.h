// The application object: start-up shows the property sheet modally and ends the program
// when it closes.
#pragma once

class CGyroToolsApp {
  public:
    // Runs the sheet; returns false, which ends the program.
    bool InitInstance();
};

extern CGyroToolsApp theApp;
