/* Programs that check-xp-imports must refuse, one fault each, and a clean one it must pass
   (tests/CMakeLists.txt builds them for i686). Built like the shipped fnkeyd.exe (wWinMain, GUI
   subsystem, static runtime) so that the clean probe imports what fnkeyd.exe imports. Never run. */
#include <windows.h>

#if defined(PROBE_ORDINAL_IMPORT)
void ProbeByOrdinal(void); /* exported by ordinal only: xp-probe-ordinal.def */
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
#if defined(PROBE_VISTA_IMPORT)
    return (int)GetTickCount64(); /* kernel32 from Vista on */
#elif defined(PROBE_RUN_TIME_LOOKUP)
    BOOL wow64 = FALSE; /* the service looks IsWow64Process up at run time instead */
    IsWow64Process(GetCurrentProcess(), &wow64);
    return wow64;
#elif defined(PROBE_ORDINAL_IMPORT)
    ProbeByOrdinal();
    return 0;
#else
    return 0;
#endif
}
