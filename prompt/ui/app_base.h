// The process's one application object (see ui/ui.h).
#pragma once

#include <windows.h>

class CWinAppBase {
public:
    // Registers the object as the process's application object; construct exactly one, as a
    // global, so that it exists before the entry code runs.
    CWinAppBase();
    virtual ~CWinAppBase();
    CWinAppBase(const CWinAppBase&) = delete;
    CWinAppBase& operator=(const CWinAppBase&) = delete;

    // The program's start-up. FALSE: the program ends; TRUE: a thread message loop runs until
    // WM_QUIT.
    virtual BOOL InitInstance() = 0;

    static CWinAppBase* Current();
};

// The body of the program's entry point: InitInstance of the application object, then the
// message loop if it asked for one. Returns the process exit code (0, or WM_QUIT's code).
int RunApplication();
