// A machine with fnkeyd installed as the service "fnkeyd" from a program folder of its own (the
// default and indicator programs and MOLTEX32.DLL beside it), the system-event component's
// registry seeded by the hotkey source, the terminal-services stand-in's console session and the
// test PKI's root trusted. The service is created on construction and removed, with everything
// else, on destruction.
//
// Seeded hotkeys: class-01 HotkeyNumbers 1, 2, 5 and 6 offered (3, 4 and 12 are the power-
// management component's own), class-02 events 1 and 2.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "hotkey_source_fixture.h"
#include "service_program_folder.h"
#include "service_under_test.h"
#include "standins.h"

namespace testsvc {

// The registry path of a hotkey's subkey (class-01 HotkeyNumber or class-02 event `number`).
std::wstring HotkeySubkeyPath(HotkeyClass hotkeyClass, DWORD number, KeyFamily family = KeyFamily::SystemEvent);

// The hotkey source's seed of the machine above.
HotkeySourceSeed DefaultMachineSeed();

class ServiceMachine {
public:
    // The family follows the machine: with `family` PowerManager, the caller has made the hotkey
    // device present.
    explicit ServiceMachine(const HotkeySourceSeed& seed = DefaultMachineSeed(),
                            KeyFamily family = KeyFamily::SystemEvent);
    ~ServiceMachine();
    ServiceMachine(const ServiceMachine&) = delete;
    ServiceMachine& operator=(const ServiceMachine&) = delete;

    // The console session of the stand-in: active, with or without a logged-on user.
    void Console(bool userLoggedOn) const;
    // Registers `program` as the handler of class-01 `number` with `parameters`; with
    // `lockedMode` given, also writes "LockedMode".
    void RegisterHandler(HotkeyClass hotkeyClass, DWORD number, const std::wstring& program,
                         const std::wstring& parameters, std::optional<DWORD> lockedMode = std::nullopt) const;
    void SetLockedMode(HotkeyClass hotkeyClass, DWORD number, DWORD lockedMode) const;

    // Presses class-01 hotkey or class-02 event `number` until `program` starts, and returns its
    // record (empty when it never did). For use after the hotkey source recreated its
    // "Notification" key: the watcher takes the recreated key's values as its new start, so a
    // press made before it has looked again may be taken for part of that start.
    std::map<std::wstring, std::wstring> PressUntilStarted(HotkeyClass hotkeyClass, DWORD number,
                                                           const std::wstring& program);

    // Starts the service and waits until its start-up is complete (the logon indicator, its last
    // step, has started); false with the reason in Service().Problem() or on stderr.
    bool StartService();

    testfiles::ServiceProgramFolder folder;
    standin::TrustedTestRoot trusted;
    TestHotkeySource source;
    ServiceUnderTest& Service() { return *service_; }

private:
    std::unique_ptr<ServiceUnderTest> service_;
};

// The lines of the MOLTEX32.DLL stand-in's log in `folder` ("enabled", "freed", "process ended").
std::vector<std::string> LpuLog(const testfiles::ServiceProgramFolder& folder);

}  // namespace testsvc
