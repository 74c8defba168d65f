// GlanceUIApp entry point: the one application object, then its InitInstance.
#include <windows.h>

#include "glance_app.h"

namespace {
CGlanceUIAppApp theApp;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return RunApplication();
}
