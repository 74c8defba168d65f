// The notification watcher: the order of one pass's dispatches and its decision as tables, single
// passes against the real registry, and the whole loop on a thread of its own, pressed by the
// hotkey source's own code and dispatching into a log.
//
// Nothing-happened checks end on a positive event: a marker press whose dispatch proves that every
// toggle written before it has been looked at, or the end of the watcher thread.
#include <doctest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/notification_watcher.h"
#include "host/service_state.h"
#include "hotkey_source_fixture.h"
#include "registry/registry_paths.h"
#include "registry_fixture.h"
#include "unique_handle.h"

namespace doctest {
template <>
struct StringMaker<std::vector<HotkeyChange>> {
    static String convert(const std::vector<HotkeyChange>& changes)
    {
        std::string text = "[";
        for (const auto& change : changes) {
            if (text.size() > 1) text += ", ";
            text += change.hotkeyClass == HotkeyClass::Class01 ? "(01," : "(02,";
            text += std::to_string(change.index) + ")";
        }
        return (text + "]").c_str();
    }
};
}  // namespace doctest

namespace {

using Changes = std::vector<HotkeyChange>;

constexpr HotkeyChange C01(DWORD index)
{
    return {HotkeyClass::Class01, index};
}
constexpr HotkeyChange C02(DWORD index)
{
    return {HotkeyClass::Class02, index};
}

constexpr DWORD kDeadlineMs = 10000;  // for anything the watcher is expected to do

// Probes: class-01 indexes the tests leave alone, pressed until the watcher shows it listens. The
// wait for each doubles, from a blink (the watcher thread is just starting) to several retries of
// a watcher that lost its key (12.7 s in all).
constexpr DWORD kFirstProbe = 24;
constexpr DWORD kLastProbe = 30;
constexpr DWORD kFirstProbeWaitMs = 100;
// The marker comes last in any pass (class 02, highest index): once it has been dispatched, every
// toggle written before it has been dispatched too, or never will be.
constexpr HotkeyChange kMarker = C02(31);

constexpr DWORD kProbeBits = 0x7F000000;
constexpr DWORD kMarkerBit = 0x80000000;
// Served by default: class-01 and class-02 indexes 0..7, the probes and the marker.
constexpr WatchMasks kServed{kProbeBits | 0xFF, kMarkerBit | 0xFF};

std::wstring NotificationPath(KeyFamily family)
{
    return std::wstring(ParametersRootPath(family)) + L"\\" + kNotificationKey;
}

const wchar_t* SignalName(HotkeyClass hotkeyClass)
{
    return hotkeyClass == HotkeyClass::Class01 ? nullptr : kType2Value;
}

void UseFamily(KeyFamily family)
{
    g_serviceState.keyFamily = family;
    g_serviceState.isWow64 = FALSE;
}

void Press(const TestHotkeySource& source, HotkeyChange change)
{
    source.Press(change.hotkeyClass, change.index + 1);
}

// Toggles several bits of one press signal in a single write, so that one pass sees them together.
void ToggleAtOnce(KeyFamily family, HotkeyClass hotkeyClass, DWORD bits)
{
    const DWORD signal = ReadPressSignal(family, hotkeyClass).value_or(0);
    testreg::SetDword(NotificationPath(family).c_str(), SignalName(hotkeyClass), signal ^ bits);
}

// Every dispatch of the watcher, in order. One dispatch can be held: it blocks inside the dispatch
// until the test releases it (or a minute has passed, so that a failed test cannot hang the
// watcher). The seam is a plain function pointer, so the log is global.
class DispatchLog {
public:
    static bool Record(HotkeyClass hotkeyClass, DWORD index);

    void Reset()
    {
        std::lock_guard lock(mutex_);
        entries_.clear();
        held_.reset();
        holding_ = false;
        released_ = false;
        heldFinished_ = false;
    }

    size_t Size()
    {
        std::lock_guard lock(mutex_);
        return entries_.size();
    }

    Changes Since(size_t from)
    {
        std::lock_guard lock(mutex_);
        return Changes(entries_.begin() + static_cast<std::ptrdiff_t>(from), entries_.end());
    }

    // True once `change` has been dispatched at or after position `from`.
    bool WaitFor(HotkeyChange change, size_t from, DWORD timeoutMs)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (size_t i = from; i < entries_.size(); ++i) {
                if (entries_[i] == change) return true;
            }
            return false;
        });
    }

    // The next dispatch of `change` blocks until Release().
    void Hold(HotkeyChange change)
    {
        std::lock_guard lock(mutex_);
        held_ = change;
        released_ = false;
        heldFinished_ = false;
    }

    bool WaitUntilHolding(DWORD timeoutMs)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return holding_; });
    }

    void Release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    // The held dispatch returned to the watcher.
    bool HeldDispatchFinished()
    {
        std::lock_guard lock(mutex_);
        return heldFinished_;
    }

private:
    bool Add(HotkeyChange change)
    {
        std::unique_lock lock(mutex_);
        entries_.push_back(change);
        changed_.notify_all();
        if (held_ && *held_ == change) {
            held_.reset();
            holding_ = true;
            changed_.notify_all();
            changed_.wait_for(lock, std::chrono::minutes(1), [&] { return released_; });
            holding_ = false;
            heldFinished_ = true;
        }
        return true;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    Changes entries_;
    std::optional<HotkeyChange> held_;
    bool holding_ = false;
    bool released_ = false;
    bool heldFinished_ = false;
};

DispatchLog g_log;

bool DispatchLog::Record(HotkeyClass hotkeyClass, DWORD index)
{
    return g_log.Add(HotkeyChange{hotkeyClass, index});
}

// RunNotificationWatcher on a thread of its own, with its own two events and the log as its
// dispatch. However the test ends, the held dispatch is released and the thread is stopped and
// waited for.
class RunningWatcher {
public:
    // `manualResetChange`: a manual-reset change event, set before the thread starts, so that the
    // test can see the first pass begin (the watcher clears the event at the start of each pass).
    explicit RunningWatcher(const WatchMasks& masks, bool manualResetChange = false)
        : masks_(masks), changeEvent_(CreateEventW(nullptr, manualResetChange, manualResetChange, nullptr))
    {
        g_log.Reset();
        REQUIRE(changeEvent_);
        REQUIRE(stopEvent_);
        handlesBefore_ = HeldHandleCount();
        thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
        REQUIRE(thread_);
    }

    ~RunningWatcher()
    {
        if (!ended_) {
            RequestStop();
            CHECK(WaitForEnd());
        }
    }

    RunningWatcher(const RunningWatcher&) = delete;
    RunningWatcher& operator=(const RunningWatcher&) = delete;

    WatchMasks& Masks() { return masks_; }

    // With a manual-reset change event: true once a pass has cleared it.
    bool WaitForFirstPass()
    {
        const ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
        while (WaitForSingleObject(changeEvent_.Get(), 0) == WAIT_OBJECT_0) {
            if (GetTickCount64() >= deadline) return false;
            Sleep(1);
        }
        return true;
    }

    void RequestStop()
    {
        g_log.Release();
        SetEvent(stopEvent_.Get());
    }

    // True when the thread ended within the deadline and the watcher had closed every key it
    // opened. A thread that does not end is terminated, so that nothing outlives the test.
    bool WaitForEnd()
    {
        const bool ended = WaitForSingleObject(thread_.Get(), kDeadlineMs) == WAIT_OBJECT_0;
        if (!ended) {
            g_log.Release();
            TerminateThread(thread_.Get(), 1);
            WaitForSingleObject(thread_.Get(), kDeadlineMs);
        }
        ended_ = true;
        return ended && HeldHandleCount() == handlesBefore_ + 1;  // + 1: the thread's own handle
    }

private:
    static DWORD WINAPI Run(LPVOID self)
    {
        auto* watcher = static_cast<RunningWatcher*>(self);
        RunNotificationWatcher(&watcher->masks_, watcher->changeEvent_.Get(), watcher->stopEvent_.Get(),
                               DispatchLog::Record);
        return 0;
    }

    WatchMasks masks_;
    UniqueKernelHandle changeEvent_;
    UniqueKernelHandle stopEvent_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    long handlesBefore_ = 0;
    UniqueKernelHandle thread_;
    bool ended_ = false;
};

// A press made before the watcher has read its starting values becomes part of them and is never
// dispatched, so a test presses probes (distinct, ascending) until the latest one is dispatched.
// Every earlier probe is then settled: dispatched before it, in its pass or an earlier one, or
// absorbed for good. Returns the log position after it.
size_t WaitUntilListening(const TestHotkeySource& source)
{
    const size_t from = g_log.Size();
    DWORD waitMs = kFirstProbeWaitMs;
    for (DWORD probe = kFirstProbe; probe <= kLastProbe; ++probe, waitMs *= 2) {
        Press(source, C01(probe));
        if (g_log.WaitFor(C01(probe), from, waitMs)) return g_log.Size();
    }
    FAIL("the watcher dispatched none of the probes");
    return 0;
}

// Presses the marker and waits for its dispatch.
void PressMarker(const TestHotkeySource& source)
{
    const size_t from = g_log.Size();
    Press(source, kMarker);
    REQUIRE(g_log.WaitFor(kMarker, from, kDeadlineMs));
}

bool IsProbe(const HotkeyChange& change)
{
    return change.hotkeyClass == HotkeyClass::Class01 && change.index >= kFirstProbe && change.index <= kLastProbe;
}

// The log without the probes.
Changes WithoutProbes(const Changes& changes)
{
    Changes rest;
    for (const auto& change : changes) {
        if (!IsProbe(change)) rest.push_back(change);
    }
    return rest;
}

}  // namespace

TEST_SUITE("watcher") {
TEST_CASE("the changed hotkeys of one pass, in dispatch order")
{
    constexpr DWORD kAll = 0xFFFFFFFF;
    Changes everyBit;
    for (DWORD i = 0; i < 32; ++i) everyBit.push_back(C01(i));
    for (DWORD i = 0; i < 32; ++i) everyBit.push_back(C02(i));
    struct Row {
        const char* name;
        PressSignals last;
        PressSignals current;
        WatchMasks masks;
        Changes expected;
    };
    const Row rows[] = {
        {"bits 0 and 3 of the default value and bit 1 of Type2", {0, 0}, {0x9, 0x2}, {kAll, kAll},
         {C01(0), C01(3), C02(1)}},
        {"every class-01 bit before any class-02 bit, whatever the index", {0, 0}, {0x80000000, 0x1}, {kAll, kAll},
         {C01(31), C02(0)}},
        {"a bit that went from set to clear counts too", {0xFFFFFFFF, 0x80000001}, {0x7FFFFFFF, 0x1}, {kAll, kAll},
         {C01(31), C02(31)}},
        {"only bits inside each class's own mask", {0, 0}, {0xF, 0xF}, {0x5, 0x8}, {C01(0), C01(2), C02(3)}},
        {"changes outside the masks only", {0x10, 0}, {0x1, 0x3}, {0x2, 0x4}, {}},
        {"nothing changed", {0x12, 0x34}, {0x12, 0x34}, {kAll, kAll}, {}},
        {"every bit of both classes", {0, kAll}, {kAll, 0}, {kAll, kAll}, everyBit},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        HotkeyChange changes[kMaxHotkeyChanges];
        const HotkeyChange canary{HotkeyClass::Class02, 0xCCCCCCCC};
        for (auto& change : changes) change = canary;
        const size_t count = ChangedHotkeys(row.last, row.current, row.masks, changes);
        REQUIRE(count <= kMaxHotkeyChanges);
        CHECK(Changes(changes, changes + count) == row.expected);
        for (size_t i = count; i < kMaxHotkeyChanges; ++i) CHECK(changes[i] == canary);
    }
}

TEST_CASE("one pass's decision: what it dispatches, what it remembers, how long it then waits")
{
    constexpr DWORD kRetry = kFailedPassRetryMs;
    struct Row {
        const char* name;
        WatcherMemory memory;
        PassReading reading;
        Changes dispatched;
        WatcherMemory remembered;
        DWORD waitMs;
    };
    const WatchMasks masks{0x3, 0x1};
    const Row rows[] = {
        {"a served toggle is dispatched; the whole values read are remembered",
         {{0x0, 0x0}, false}, {true, true, {0x101, 0x4}}, {C01(0)}, {{0x101, 0x4}, false}, INFINITE},
        {"toggles outside the masks alone dispatch nothing and leave the values as they were",
         {{0x1, 0x0}, false}, {true, true, {0x101, 0x6}}, {}, {{0x1, 0x0}, false}, INFINITE},
        {"nothing changed", {{0x3, 0x1}, false}, {true, true, {0x3, 0x1}}, {}, {{0x3, 0x1}, false}, INFINITE},
        {"read but not armed: nothing dispatched, nothing remembered, a bounded wait",
         {{0x0, 0x0}, false}, {true, false, {0x1, 0x1}}, {}, {{0x0, 0x0}, false}, kRetry},
        {"the key could not be opened or its default value read: a fresh start is due",
         {{0x1, 0x1}, false}, {false, false, {0x0, 0x0}}, {}, {{0x1, 0x1}, true}, kRetry},
        {"armed but the default value unreadable: the same",
         {{0x1, 0x1}, false}, {false, true, {0x0, 0x1}}, {}, {{0x1, 0x1}, true}, kRetry},
        {"still unreadable during a fresh start", {{0x1, 0x1}, true}, {false, true, {0x0, 0x0}}, {}, {{0x1, 0x1}, true},
         kRetry},
        {"the first reading after the gap is the starting state, not presses",
         {{0x1, 0x1}, true}, {true, true, {0x2, 0x0}}, {}, {{0x2, 0x0}, false}, INFINITE},
        {"a starting state read while not armed still waits bounded",
         {{0x1, 0x1}, true}, {true, false, {0x2, 0x0}}, {}, {{0x2, 0x0}, false}, kRetry},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        const PassPlan plan = PlanPass(row.memory, row.reading, masks);
        REQUIRE(plan.changeCount <= kMaxHotkeyChanges);
        CHECK(Changes(plan.changes, plan.changes + plan.changeCount) == row.dispatched);
        CHECK(plan.memory.last.notification == row.remembered.last.notification);
        CHECK(plan.memory.last.type2 == row.remembered.last.type2);
        CHECK(plan.memory.freshStart == row.remembered.freshStart);
        CHECK(plan.waitMs == row.waitMs);
    }
}

TEST_CASE("single passes: a gone key wakes the watcher; the values it comes back with are not presses")
{
    struct Row {
        const char* name;
        void (*remove)(KeyFamily family);
    };
    const Row rows[] = {
        {"the Notification key deleted", [](KeyFamily family) { testreg::DeleteTree(NotificationPath(family).c_str()); }},
        {"its default value deleted",
         [](KeyFamily family) { testreg::DeleteValue(NotificationPath(family).c_str(), nullptr); }},
        {"the whole Parameters root deleted",
         [](KeyFamily family) { testreg::DeleteTree(ParametersRootPath(family)); }},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
        UseFamily(source.Family());
        g_log.Reset();
        UniqueKernelHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        REQUIRE(changed);
        const long handlesBefore = HeldHandleCount();
        {
            NotificationWatch watch(kServed, changed.Get(), DispatchLog::Record);
            REQUIRE(watch.RootChangedEvent());
            const HANDLE wakers[] = {changed.Get(), watch.RootChangedEvent()};
            const auto woken = [&] { return WaitForMultipleObjects(2, wakers, FALSE, kDeadlineMs) < WAIT_OBJECT_0 + 2; };
            // After a pass that armed, only a change may signal: no leftover that would start a pass.
            const auto quiet = [&] { return WaitForMultipleObjects(2, wakers, FALSE, 0) == WAIT_TIMEOUT; };

            watch.ReadStartingValues();
            CHECK(watch.Pass() == INFINITE);
            CHECK(quiet());
            Press(source, C01(1));
            REQUIRE(woken());
            CHECK(watch.Pass() == INFINITE);
            CHECK(quiet());
            CHECK(g_log.Since(0) == Changes{C01(1)});

            row.remove(source.Family());
            CHECK(woken());
            CHECK(watch.Pass() == kFailedPassRetryMs);
            CHECK(watch.Memory().freshStart);

            // The source's starting state, written the way it would come back: "Type2" first, the
            // default value last, so that the first readable state holds both.
            const std::wstring notification = NotificationPath(source.Family());
            testreg::SetDword(notification.c_str(), kType2Value, 0x4);
            CHECK(watch.Pass() == kFailedPassRetryMs);
            testreg::SetDword(notification.c_str(), nullptr, 0x20);
            CHECK(watch.Pass() == INFINITE);
            CHECK(quiet());
            CHECK_FALSE(watch.Memory().freshStart);
            CHECK(watch.Memory().last.notification == 0x20);
            CHECK(watch.Memory().last.type2 == 0x4);

            Press(source, C01(3));
            REQUIRE(woken());
            CHECK(watch.Pass() == INFINITE);
            CHECK(g_log.Since(0) == Changes{C01(1), C01(3)});
        }
        CHECK(HeldHandleCount() == handlesBefore);
    }
}

TEST_CASE("a press dispatches exactly its hotkey, in either family; a Type2 change alone wakes the watcher")
{
    struct Row {
        KeyFamily family;
        HotkeyChange press;
    };
    const Row rows[] = {
        {KeyFamily::SystemEvent, C01(0)},  {KeyFamily::SystemEvent, C01(7)},  {KeyFamily::SystemEvent, C02(3)},
        {KeyFamily::PowerManager, C01(4)}, {KeyFamily::PowerManager, C02(0)},
    };
    for (const auto& row : rows) {
        CAPTURE(static_cast<int>(row.family));
        CAPTURE(static_cast<int>(row.press.hotkeyClass));
        CAPTURE(row.press.index);
        TestHotkeySource source(row.family, HotkeySourceSeed{});
        UseFamily(row.family);
        RunningWatcher watcher(kServed);
        const size_t mark = WaitUntilListening(source);
        Press(source, row.press);
        REQUIRE(g_log.WaitFor(row.press, mark, kDeadlineMs));
        PressMarker(source);
        CHECK(g_log.Since(mark) == Changes{row.press, kMarker});
    }
}

TEST_CASE("values present before the watcher started are never dispatched")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    const std::wstring notification = NotificationPath(source.Family());
    testreg::SetDword(notification.c_str(), nullptr, 0x81);
    testreg::SetDword(notification.c_str(), kType2Value, 0x6);
    RunningWatcher watcher(kServed);
    const size_t mark = WaitUntilListening(source);
    PressMarker(source);
    CHECK(WithoutProbes(g_log.Since(0)) == Changes{kMarker});
    CHECK(g_log.Since(mark) == Changes{kMarker});
}

TEST_CASE("a bit toggled twice between two passes starts nothing")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    RunningWatcher watcher(kServed);
    const size_t mark = WaitUntilListening(source);
    // The watcher is held inside a dispatch, so no pass can run between the two presses.
    g_log.Hold(C01(0));
    Press(source, C01(0));
    REQUIRE(g_log.WaitUntilHolding(kDeadlineMs));
    for (const HotkeyChange twice : {C01(1), C02(2)}) {
        Press(source, twice);
        Press(source, twice);
    }
    g_log.Release();
    PressMarker(source);
    CHECK(g_log.Since(mark) == Changes{C01(0), kMarker});
}

TEST_CASE("bits outside the masks start nothing, then or later")
{
    // Whether such a pass remembers the values it read cannot show in what is dispatched later:
    // the unserved bits are masked away in every comparison. The decision's table checks it.
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    RunningWatcher watcher({kProbeBits | 0x1, kMarkerBit | 0x1});
    size_t mark = WaitUntilListening(source);
    for (const HotkeyChange unserved : {C01(1), C01(5), C02(2)}) Press(source, unserved);
    PressMarker(source);
    CHECK(g_log.Since(mark) == Changes{kMarker});

    // Toggled back, each together with a served press in one write: only the served ones.
    mark = g_log.Size();
    ToggleAtOnce(source.Family(), HotkeyClass::Class01, 0x2 | 0x1);
    REQUIRE(g_log.WaitFor(C01(0), mark, kDeadlineMs));
    ToggleAtOnce(source.Family(), HotkeyClass::Class02, 0x4 | 0x1);
    REQUIRE(g_log.WaitFor(C02(0), mark, kDeadlineMs));
    PressMarker(source);
    CHECK(g_log.Since(mark) == Changes{C01(0), C02(0), kMarker});
}

TEST_CASE("a deleted Type2 reads as 0: each served bit that was set in it is dispatched once")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    RunningWatcher watcher(kServed);
    WaitUntilListening(source);
    for (const HotkeyChange press : {C02(1), C02(3)}) {
        const size_t from = g_log.Size();
        Press(source, press);
        REQUIRE(g_log.WaitFor(press, from, kDeadlineMs));
    }
    Press(source, C02(9));  // not served
    const size_t mark = g_log.Size();
    testreg::DeleteValue(NotificationPath(source.Family()).c_str(), kType2Value);
    // Dispatched before the marker is pressed, so that its write does not recreate the value first.
    REQUIRE(g_log.WaitFor(C02(1), mark, kDeadlineMs));
    REQUIRE(g_log.WaitFor(C02(3), mark, kDeadlineMs));
    PressMarker(source);
    CHECK(g_log.Since(mark) == Changes{C02(1), C02(3), kMarker});
}

TEST_CASE("a press made while a dispatch runs is handled by the next pass")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    RunningWatcher watcher(kServed);
    const size_t mark = WaitUntilListening(source);
    g_log.Hold(C01(2));
    Press(source, C01(2));
    REQUIRE(g_log.WaitUntilHolding(kDeadlineMs));
    Press(source, C01(1));  // a lower index: dispatched after the held one only from a pass of its own
    g_log.Release();
    REQUIRE(g_log.WaitFor(C01(1), mark, kDeadlineMs));
    PressMarker(source);
    CHECK(g_log.Since(mark) == Changes{C01(2), C01(1), kMarker});
}

TEST_CASE("a stop during a dispatch: the dispatch and the rest of its pass finish, then the thread ends")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    SUBCASE("nothing else pending")
    {
        RunningWatcher watcher(kServed);
        const size_t mark = WaitUntilListening(source);
        g_log.Hold(C01(1));
        ToggleAtOnce(source.Family(), HotkeyClass::Class01, 0x2 | 0x8);
        REQUIRE(g_log.WaitUntilHolding(kDeadlineMs));
        watcher.RequestStop();  // releases the held dispatch too
        CHECK(watcher.WaitForEnd());
        CHECK(g_log.HeldDispatchFinished());
        CHECK(g_log.Since(mark) == Changes{C01(1), C01(3)});
    }
    SUBCASE("a change pending too: one more pass first")
    {
        RunningWatcher watcher(kServed);
        const size_t mark = WaitUntilListening(source);
        g_log.Hold(C01(1));
        Press(source, C01(1));
        REQUIRE(g_log.WaitUntilHolding(kDeadlineMs));
        Press(source, C01(4));
        watcher.RequestStop();
        CHECK(watcher.WaitForEnd());
        CHECK(g_log.HeldDispatchFinished());
        CHECK(g_log.Since(mark) == Changes{C01(1), C01(4)});
    }
}

TEST_CASE("the watcher follows the masks it was started with")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    RunningWatcher watcher({kProbeBits | 0x1, kMarkerBit});
    const size_t mark = WaitUntilListening(source);
    watcher.Masks() = WatchMasks{kProbeBits | 0x2, kMarkerBit};
    Press(source, C01(0));
    Press(source, C01(1));
    PressMarker(source);
    CHECK(g_log.Since(mark) == Changes{C01(0), kMarker});
}

TEST_CASE("the watcher never goes deaf: after the key, its default value or the whole root was gone, a press is dispatched")
{
    struct Row {
        const char* name;
        void (*remove)(KeyFamily family);
    };
    const Row rows[] = {
        {"the Notification key deleted", [](KeyFamily family) { testreg::DeleteTree(NotificationPath(family).c_str()); }},
        {"its default value deleted",
         [](KeyFamily family) { testreg::DeleteValue(NotificationPath(family).c_str(), nullptr); }},
        {"the whole Parameters root deleted",
         [](KeyFamily family) { testreg::DeleteTree(ParametersRootPath(family)); }},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
        UseFamily(source.Family());
        RunningWatcher watcher(kServed);
        WaitUntilListening(source);
        Press(source, C01(1));
        REQUIRE(g_log.WaitFor(C01(1), 0, kDeadlineMs));
        // Back with the values it had, so that whether or not the watcher saw the gap, nothing in
        // them is new.
        const DWORD notification = source.Signal(HotkeyClass::Class01);
        const DWORD type2 = source.Signal(HotkeyClass::Class02);
        const size_t mark = g_log.Size();
        row.remove(source.Family());
        const std::wstring path = NotificationPath(source.Family());
        testreg::SetDword(path.c_str(), kType2Value, type2);
        testreg::SetDword(path.c_str(), nullptr, notification);

        const size_t listening = WaitUntilListening(source);
        Press(source, C01(5));
        REQUIRE(g_log.WaitFor(C01(5), listening, kDeadlineMs));
        PressMarker(source);
        CHECK(g_log.Since(listening) == Changes{C01(5), kMarker});
        CHECK(WithoutProbes(g_log.Since(mark)) == Changes{C01(5), kMarker});
    }
}

TEST_CASE("a hotkey source that appears after the watcher started: its values are the starting state")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    testreg::DeleteTree(ParametersRootPath(source.Family()));
    RunningWatcher watcher(kServed, true);
    // Its first pass finds nothing to open and arms nothing: only its own retries can find the key.
    REQUIRE(watcher.WaitForFirstPass());
    const std::wstring notification = NotificationPath(source.Family());
    testreg::SetDword(notification.c_str(), kType2Value, 0x6);
    testreg::SetDword(notification.c_str(), nullptr, 0x81);
    const size_t mark = WaitUntilListening(source);
    Press(source, C01(2));
    REQUIRE(g_log.WaitFor(C01(2), mark, kDeadlineMs));
    PressMarker(source);
    CHECK(WithoutProbes(g_log.Since(0)) == Changes{C01(2), kMarker});
}

TEST_CASE("the thread routine: the service state's events, ended by its stop event with exit code 0")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    UseFamily(source.Family());
    UniqueKernelHandle changeEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    UniqueKernelHandle stopEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    REQUIRE(changeEvent);
    REQUIRE(stopEvent);
    struct ServiceEvents {
        ServiceEvents(HANDLE change, HANDLE stop)
        {
            g_serviceState.watcherEvents[kChangeEventIndex] = change;
            g_serviceState.watcherEvents[kStopEventIndex] = stop;
            g_serviceState.watchMasks = kServed;
        }
        ~ServiceEvents()
        {
            g_serviceState.watcherEvents[kChangeEventIndex] = nullptr;
            g_serviceState.watcherEvents[kStopEventIndex] = nullptr;
            g_serviceState.watchMasks = WatchMasks{};
        }
    } events(changeEvent.Get(), stopEvent.Get());
    UniqueKernelHandle thread(CreateThread(nullptr, 0, NotificationWatcher, &g_serviceState.watchMasks, 0, nullptr));
    REQUIRE(thread);
    // Read at index 0 instead, the stop event would only start another pass.
    SetEvent(stopEvent.Get());
    REQUIRE(WaitForSingleObject(thread.Get(), kDeadlineMs) == WAIT_OBJECT_0);
    DWORD exitCode = STILL_ACTIVE;
    CHECK(GetExitCodeThread(thread.Get(), &exitCode));
    CHECK(exitCode == 0);
}
}
