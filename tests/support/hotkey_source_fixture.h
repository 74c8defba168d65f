// The hotkey source of one test: a clean hotkey registry, the family's Parameters root seeded as
// the source leaves it, and key presses signalled the way the source signals them (the companion
// stand-in's own code, companions/hotkey_source.h). The hotkey registry is wiped again when done.
#pragma once

#include <stdexcept>

#include "hotkey_registry.h"
#include "hotkey_source.h"

class TestHotkeySource {
public:
    TestHotkeySource(KeyFamily family, const HotkeySourceSeed& seed) : family_(family)
    {
        if (!SeedHotkeySource(family, seed)) throw std::runtime_error("the hotkey source could not seed its root");
    }

    KeyFamily Family() const { return family_; }

    // Starts over: a clean hotkey registry seeded anew.
    void Reseed(const HotkeySourceSeed& seed) const
    {
        CleanHotkeyRegistry::Wipe();
        if (!SeedHotkeySource(family_, seed)) throw std::runtime_error("the hotkey source could not seed its root");
    }

    // One press of class-01 hotkey `number` or class-02 event `number` (1..32).
    void Press(HotkeyClass hotkeyClass, DWORD number) const
    {
        if (!PressHotkey(family_, hotkeyClass, number)) throw std::runtime_error("the hotkey source could not press");
    }

    // The class's press signal as it stands.
    DWORD Signal(HotkeyClass hotkeyClass) const
    {
        const auto signal = ReadPressSignal(family_, hotkeyClass);
        if (!signal) throw std::runtime_error("the press signal cannot be read");
        return *signal;
    }

private:
    CleanHotkeyRegistry clean_;  // first member: wiped before seeding and after everything else
    KeyFamily family_;
};
