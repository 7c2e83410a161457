// The application object: starts the common controls and runs the main dialog. It maps no
// command: the program has no help for a help command to open.
#pragma once

#include "framework/win_app.h"

class Cvqz_downloaderApp : public CWinApp {
public:
    Cvqz_downloaderApp();
    BOOL InitInstance() override;
};
