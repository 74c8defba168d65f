#include "dispatch/handler_resolution.h"

#include "bounded_string.h"
#include "host/service_state.h"
#include "registry/registry_keys.h"
#include "registry/registry_paths.h"
#include "unique_handle.h"

namespace {

// The default program beside the service; true when it exists.
bool FindDefaultProgram(HotkeyClass hotkeyClass, DWORD index, HandlerSpec* handler)
{
    const wchar_t* format = hotkeyClass == HotkeyClass::Class01 ? L"%s\\ostrel%d.exe" : L"%s\\brisk_%d.exe";
    if (!BoundedFormat(handler->applicationPath, MAX_PATH, format, g_serviceState.programDir,
                       static_cast<int>(index + 1))) {
        return false;
    }
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(FindFirstFileW(handler->applicationPath, &found));
    return search.IsValid();
}

// The fixed fallbacks of class-01 hotkeys without a registered handler or default program.
bool FindFallbackProgram(HotkeyClass hotkeyClass, DWORD index, HandlerSpec* handler)
{
    const ServiceState& state = g_serviceState;
    if (hotkeyClass != HotkeyClass::Class01) return false;
    if (state.keyFamily == KeyFamily::PowerManager && index == kFallback8001Index) {
        UniqueHkey key;
        if (OpenRegistryKey(HKEY_LOCAL_MACHINE, kFallback8001Key, KEY_READ, key.Put(), state.isWow64) == ERROR_SUCCESS &&
            ReadStringValue(key.Get(), kFileValue, handler->applicationPath, MAX_PATH) == ERROR_SUCCESS) {
            return true;  // used as stored, like a registered "File"
        }
    }
    if (state.isWindows7OrLater && index == kDisplaySwitchIndex) {
        if (!BoundedCopy(handler->applicationPath, MAX_PATH, kDisplaySwitchProgram)) return false;
        handler->parameters[0] = L'\0';
        // The program lives in the native system directory of 64-bit Windows.
        handler->nativePath = state.isWow64 ? 1 : 0;
        return true;
    }
    return false;
}

}  // namespace

bool ResolveHandler(HotkeyClass hotkeyClass, DWORD index, HandlerSpec* handler)
{
    HandlerSource source = HandlerSource::Registered;
    return ResolveHandler(hotkeyClass, index, handler, &source);
}

bool ResolveHandler(HotkeyClass hotkeyClass, DWORD index, HandlerSpec* handler, HandlerSource* source)
{
    const ServiceState& state = g_serviceState;
    HandlerSource chosen = HandlerSource::Registered;
    HandlerSpec spec;
    spec.lockedMode = (hotkeyClass == HotkeyClass::Class01 && index == kLockedModeByDefaultIndex) ? 1 : 0;

    wchar_t subkeyPath[MAX_PATH];
    if (!BoundedFormat(subkeyPath, MAX_PATH, L"%s\\%02X", ClassKeyPath(state.keyFamily, hotkeyClass),
                       static_cast<unsigned>(index + 1))) {
        return false;
    }

    bool registered = false;
    {
        UniqueHkey key;
        if (OpenRegistryKey(HKEY_LOCAL_MACHINE, subkeyPath, KEY_READ, key.Put(), state.isWow64) == ERROR_SUCCESS) {
            registered = true;
            DWORD naCondition = 0;
            if (ReadDwordValue(key.Get(), kNaConditionValue, &naCondition) == ERROR_SUCCESS) {
                registered = (naCondition & state.driverPresent) == 0;
            }
            if (registered) {
                registered = ReadStringValue(key.Get(), kFileValue, spec.applicationPath, MAX_PATH) == ERROR_SUCCESS;
            }
            if (registered) {
                registered = ReadStringValue(key.Get(), kParametersValue, spec.parameters, MAX_PATH) == ERROR_SUCCESS;
            }
            ReadDwordValue(key.Get(), kLockedModeValue, &spec.lockedMode);
            ReadDwordValue(key.Get(), kNativePathValue, &spec.nativePath);
        }
    }

    if (!registered) {
        // A half-read registration leaves nothing behind: the default starts with no parameters.
        spec.parameters[0] = L'\0';
        if (FindDefaultProgram(hotkeyClass, index, &spec)) {
            chosen = HandlerSource::Default;
        } else if (FindFallbackProgram(hotkeyClass, index, &spec)) {
            chosen = HandlerSource::Fallback;
        } else {
            return false;
        }
    }

    const bool commandLineFits =
        spec.parameters[0] != L'\0'
            ? BoundedFormat(spec.commandLine, MAX_PATH, L"%s %s", spec.applicationPath, spec.parameters)
            : BoundedCopy(spec.commandLine, MAX_PATH, spec.applicationPath);
    if (!commandLineFits) return false;
    *handler = spec;
    *source = chosen;
    return true;
}
