// Test-side control of the stand-ins the launch tests run against: the terminal-services
// stand-in's sessions, the recording handler program, the test PKI's root.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <map>
#include <optional>
#include <string>

namespace standin {

// One session of the terminal-services stand-in.
struct Session {
    std::optional<DWORD> connectState;  // none: the connect-state query fails
    bool userToken = false;             // a user is logged on
    std::wstring userName;
    std::wstring pipeName;              // the session's process-creation pipe
};
void SetSession(DWORD sessionId, const Session& session);
// The active console session: connected, with or without a logged-on user (`userName`).
void SetConsoleSession(bool userLoggedOn, const std::wstring& userName = L"tester");
void ClearSessions();

// Terminal services failing, as the terminal-services stand-in plays it (FailFunction in
// companions/standins/session_config.h): every call of `function` fails while the object lives,
// or until Clear().
class FailingStandInFunction {
public:
    explicit FailingStandInFunction(const wchar_t* function);
    ~FailingStandInFunction();
    FailingStandInFunction(const FailingStandInFunction&) = delete;
    FailingStandInFunction& operator=(const FailingStandInFunction&) = delete;

    // The calls answer as the sessions say again; the count of failed calls stays readable.
    void Clear();
    // How many calls the stand-in has failed since the object was made.
    DWORD FailedCalls() const;
    // Waits until more than `count` calls have failed; false at the deadline.
    bool WaitForFailedCallsAbove(DWORD count, DWORD timeoutMs = 15000) const;
};

// The record the recorder left beside `program` (key -> value), waiting up to `timeoutMs` for it.
// Empty when none appeared. When the recorder started (its start mark names its process) but
// ended without writing the record, the wait ends at once and says so on stderr with the process's
// exit code, so that a crashing handler fails its test within moments and with its reason.
std::map<std::wstring, std::wstring> WaitForRecord(const std::wstring& program, DWORD timeoutMs = 15000);
// Removes the record and the start marks of `program`.
void DeleteRecord(const std::wstring& program);
// How often `program` has started since its marks were last deleted (lines of its start marks).
size_t StartCount(const std::wstring& program);
// Whether a process of that program file name (without folder) exists right now.
bool ProgramRunning(const std::wstring& fileName);
// Waits until `program` has started at least `count` times (StartCount); false at the deadline.
// Faster than WaitForRecord where only the start matters: the recorder's start mark is its first
// act, its record waits for its priority (up to 3 s).
bool WaitForStartCount(const std::wstring& program, size_t count, DWORD timeoutMs = 15000);
// Waits until no process of any of these program file names (without folder) exists; false at
// the deadline. Once it is true, every start of them has left its start mark for good.
bool WaitUntilNoneRunning(std::initializer_list<std::wstring> fileNames, DWORD timeoutMs = 15000);
// Never started, as far as can be known once whatever could have started it has finished: no
// start mark and no process of that file (one that exists but has not yet run its first
// instruction has no mark yet, but it is in the process list).
bool NeverStarted(const std::wstring& program);

// The test PKI's root in the prefix's Root store, for the object's lifetime (or, after Keep(),
// for the prefix's, as on a machine that trusts the publisher).
class TrustedTestRoot {
public:
    TrustedTestRoot();
    ~TrustedTestRoot();
    TrustedTestRoot(const TrustedTestRoot&) = delete;
    TrustedTestRoot& operator=(const TrustedTestRoot&) = delete;
    void Keep() { keep_ = true; }

private:
    std::string encoded_;
    bool keep_ = false;
};

// Runs another process that tries to open `path` for writing, rename it and delete it; returns
// the Windows error codes of the three attempts ("write", "rename", "delete"; 0 = it worked).
std::map<std::string, DWORD> TryChangeFromAnotherProcess(const std::wstring& path);

}  // namespace standin
