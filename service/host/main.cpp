// fnkeyd entry routine. A GUI-subsystem program that never creates a window, so that neither the
// service nor its command-line client flashes a console.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return 0;
}
