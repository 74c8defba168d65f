#include <doctest.h>

#include <windows.h>
#include <userenv.h>
#include <wintrust.h>
#include <wtsapi32.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "host/indicator_launch.h"
#include "host/service_state.h"
#include "import_patch.h"
#include "launch_machine.h"
#include "service_program_folder.h"
#include "session_pipe_server.h"
#include "standins.h"
#include "started_processes.h"
#include "test_files.h"

namespace {

// The two launches under test.
struct IndicatorCase {
    const char* name;
    BOOL (*launch)(DWORD sessionId);
    const wchar_t* program;
};
const IndicatorCase kLogon{"logon indicator", LaunchLogonIndicator, L"kivra.exe"};
const IndicatorCase kUser{"user indicator", LaunchUserIndicator, L"kivrad.exe"};

// Where a launch needs another answer from the platform than wine's.
struct Scenario {
    int createProcessRefusals = 0;  // the first n CreateProcessAsUserW calls fail (-1: every one) ...
    DWORD createProcessError = 0;   // ... with this error
    DWORD impersonationError = 0;   // nonzero: ImpersonateLoggedOnUser fails with it
    DWORD profileError = 0;         // nonzero: LoadUserProfileW fails with it
    DWORD environmentError = 0;     // nonzero: CreateEnvironmentBlock fails with it
    bool probeHeldFile = false;     // at the first process creation, try to change the program file
};

// The platform calls of one launch, seen through the test program's imports: the steps in their
// order, with each handle, profile and buffer they concern named by its role, and the details of
// each process creation; Sleep is counted, not slept. Answers as the Scenario says where wine
// cannot be made to refuse. Lives exactly as long as one launch call; what it saw stays readable.
class PlatformCalls {
public:
    struct Creation {
        HANDLE token = nullptr;
        std::wstring application, commandLine, desktop;
        bool startupHoldsOnlyDesktop = false;  // every STARTUPINFOW member but cb and lpDesktop is zero
        DWORD flags = 0;
        bool environment = false;
    };
    static inline std::vector<std::string> events;
    static inline std::vector<Creation> creations;
    static inline std::vector<DWORD> pauses;
    static inline std::vector<std::wstring> opens;            // paths given to CreateFileW
    static inline std::vector<bool> verifiedThroughHeldFile;  // per check: it read the program file through a handle
    static inline std::vector<std::wstring> profileNames;     // lpUserName of each LoadUserProfileW
    static inline std::map<std::string, DWORD> attemptsAtCreation;

    PlatformCalls(const std::wstring& program, const Scenario& scenario)
    {
        program_ = program;
        scenario_ = scenario;
        events.clear();
        creations.clear();
        pauses.clear();
        opens.clear();
        verifiedThroughHeldFile.clear();
        profileNames.clear();
        attemptsAtCreation.clear();
        roles_.clear();
        userName_ = nullptr;
        loadedToken_ = nullptr;
        loadedProfile_ = nullptr;
        createCalls_ = 0;
        realCreateProcess_ = createProcess_.Original<decltype(realCreateProcess_)>();
        realImpersonate_ = impersonate_.Original<decltype(realImpersonate_)>();
        realRevert_ = revert_.Original<decltype(realRevert_)>();
        realLoadProfile_ = loadProfile_.Original<decltype(realLoadProfile_)>();
        realUnloadProfile_ = unloadProfile_.Original<decltype(realUnloadProfile_)>();
        realCreateEnvironment_ = createEnvironment_.Original<decltype(realCreateEnvironment_)>();
        realDestroyEnvironment_ = destroyEnvironment_.Original<decltype(realDestroyEnvironment_)>();
        realFree_ = free_.Original<decltype(realFree_)>();
        realClose_ = close_.Original<decltype(realClose_)>();
        realCreateFile_ = createFile_.Original<decltype(realCreateFile_)>();
        realVerify_ = verify_.Original<decltype(realVerify_)>();
    }
    PlatformCalls(const PlatformCalls&) = delete;
    PlatformCalls& operator=(const PlatformCalls&) = delete;

private:
    static inline std::wstring program_;
    static inline Scenario scenario_;
    static inline std::map<HANDLE, std::string> roles_;
    static inline LPWSTR userName_ = nullptr;
    static inline HANDLE loadedToken_ = nullptr;    // the token and profile of the last
    static inline HANDLE loadedProfile_ = nullptr;  // successful LoadUserProfileW
    static inline int createCalls_ = 0;

    static inline decltype(&CreateProcessAsUserW) realCreateProcess_ = nullptr;
    static inline decltype(&ImpersonateLoggedOnUser) realImpersonate_ = nullptr;
    static inline decltype(&RevertToSelf) realRevert_ = nullptr;
    static inline decltype(&LoadUserProfileW) realLoadProfile_ = nullptr;
    static inline decltype(&UnloadUserProfile) realUnloadProfile_ = nullptr;
    static inline decltype(&CreateEnvironmentBlock) realCreateEnvironment_ = nullptr;
    static inline decltype(&DestroyEnvironmentBlock) realDestroyEnvironment_ = nullptr;
    static inline decltype(&WTSFreeMemory) realFree_ = nullptr;
    static inline decltype(&CloseHandle) realClose_ = nullptr;
    static inline decltype(&CreateFileW) realCreateFile_ = nullptr;
    static inline decltype(&WinVerifyTrust) realVerify_ = nullptr;

    static BOOL Refuse(DWORD error)
    {
        SetLastError(error);
        return FALSE;
    }

    // Whether `file` is an open handle on the program file.
    static bool IsProgramFile(HANDLE file)
    {
        if (file == nullptr || file == INVALID_HANDLE_VALUE) return false;
        HANDLE other = realCreateFile_(program_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
        if (other == INVALID_HANDLE_VALUE) return false;
        BY_HANDLE_FILE_INFORMATION held{}, named{};
        const bool same = GetFileInformationByHandle(file, &held) && GetFileInformationByHandle(other, &named) &&
                          held.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
                          held.nFileIndexHigh == named.nFileIndexHigh && held.nFileIndexLow == named.nFileIndexLow;
        realClose_(other);
        return same;
    }

    static BOOL WINAPI SeeCreateProcess(HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                        LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                                        BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR directory,
                                        LPSTARTUPINFOW startup, LPPROCESS_INFORMATION created)
    {
        events.push_back("create process");
        Creation creation;
        creation.token = token;
        creation.application = application != nullptr ? application : L"(null)";
        creation.commandLine = commandLine != nullptr ? commandLine : L"(null)";
        creation.desktop = startup->lpDesktop != nullptr ? startup->lpDesktop : L"(null)";
        STARTUPINFOW rest = *startup;
        rest.cb = 0;
        rest.lpDesktop = nullptr;
        const STARTUPINFOW zero{};
        creation.startupHoldsOnlyDesktop = startup->cb == sizeof(STARTUPINFOW) &&
                                           std::memcmp(&rest, &zero, sizeof rest) == 0 && processAttributes == nullptr &&
                                           threadAttributes == nullptr && !inherit && directory == nullptr;
        creation.flags = flags;
        creation.environment = environment != nullptr;
        creations.push_back(creation);
        if (scenario_.probeHeldFile && attemptsAtCreation.empty()) {
            attemptsAtCreation = standin::TryChangeFromAnotherProcess(program_);
        }
        ++createCalls_;
        if (scenario_.createProcessRefusals < 0 || createCalls_ <= scenario_.createProcessRefusals) {
            return Refuse(scenario_.createProcessError);
        }
        const BOOL ok = realCreateProcess_(token, application, commandLine, processAttributes, threadAttributes, inherit,
                                           flags, environment, directory, startup, created);
        if (ok) {
            roles_[created->hThread] = "thread";
            roles_[created->hProcess] = "process";
        }
        return ok;
    }
    static BOOL WINAPI SeeImpersonate(HANDLE token)
    {
        events.push_back("impersonate");
        roles_[token] = "token";
        if (scenario_.impersonationError != 0) return Refuse(scenario_.impersonationError);
        return realImpersonate_(token);
    }
    static BOOL WINAPI SeeRevert()
    {
        events.push_back("revert");
        return realRevert_();
    }
    static BOOL WINAPI SeeLoadProfile(HANDLE token, LPPROFILEINFOW profile)
    {
        events.push_back("load profile");
        roles_[token] = "token";
        profileNames.push_back(profile->lpUserName != nullptr ? profile->lpUserName : L"(null)");
        userName_ = profile->lpUserName;
        if (scenario_.profileError != 0) return Refuse(scenario_.profileError);
        const BOOL ok = realLoadProfile_(token, profile);
        if (ok) {
            loadedToken_ = token;
            loadedProfile_ = profile->hProfile;
        }
        return ok;
    }
    static BOOL WINAPI SeeUnloadProfile(HANDLE token, HANDLE profile)
    {
        const bool theLoadedOne = token == loadedToken_ && profile == loadedProfile_;
        events.push_back(theLoadedOne ? "unload profile" : "unload another profile");
        return realUnloadProfile_(token, profile);
    }
    static BOOL WINAPI SeeCreateEnvironment(LPVOID* environment, HANDLE token, BOOL inherit)
    {
        events.push_back(inherit ? "create environment" : "create environment without the service's");
        if (scenario_.environmentError != 0) return Refuse(scenario_.environmentError);
        return realCreateEnvironment_(environment, token, inherit);
    }
    static BOOL WINAPI SeeDestroyEnvironment(LPVOID environment)
    {
        events.push_back("destroy environment");
        return realDestroyEnvironment_(environment);
    }
    static void WINAPI SeeFree(PVOID memory)
    {
        if (memory != nullptr && memory == userName_) events.push_back("free user name");
        realFree_(memory);
    }
    static BOOL WINAPI SeeClose(HANDLE handle)
    {
        const auto role = roles_.find(handle);
        if (role != roles_.end()) {
            events.push_back("close " + role->second);
            roles_.erase(role);
        }
        return realClose_(handle);
    }
    static HANDLE WINAPI SeeCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                       DWORD disposition, DWORD flags, HANDLE templateFile)
    {
        opens.push_back(name != nullptr ? name : L"(null)");
        return realCreateFile_(name, access, share, security, disposition, flags, templateFile);
    }
    static LONG WINAPI SeeVerify(HWND window, GUID* action, LPVOID data)
    {
        const auto* trust = static_cast<const WINTRUST_DATA*>(data);
        if (trust->dwStateAction != WTD_STATEACTION_CLOSE) {
            events.push_back("check signature");
            const HANDLE file =
                trust->dwUnionChoice == WTD_CHOICE_FILE && trust->pFile != nullptr ? trust->pFile->hFile : nullptr;
            verifiedThroughHeldFile.push_back(IsProgramFile(file));
            if (file != nullptr) roles_[file] = "program file";
        }
        return realVerify_(window, action, data);
    }
    static void WINAPI SeeSleep(DWORD milliseconds)
    {
        pauses.push_back(milliseconds);
    }

    template <typename Fn>
    static const void* Address(Fn fn)
    {
        return reinterpret_cast<const void*>(fn);
    }
    ImportPatch createProcess_{"advapi32.dll", "CreateProcessAsUserW", Address(&SeeCreateProcess)};
    ImportPatch impersonate_{"advapi32.dll", "ImpersonateLoggedOnUser", Address(&SeeImpersonate)};
    ImportPatch revert_{"advapi32.dll", "RevertToSelf", Address(&SeeRevert)};
    ImportPatch loadProfile_{"userenv.dll", "LoadUserProfileW", Address(&SeeLoadProfile)};
    ImportPatch unloadProfile_{"userenv.dll", "UnloadUserProfile", Address(&SeeUnloadProfile)};
    ImportPatch createEnvironment_{"userenv.dll", "CreateEnvironmentBlock", Address(&SeeCreateEnvironment)};
    ImportPatch destroyEnvironment_{"userenv.dll", "DestroyEnvironmentBlock", Address(&SeeDestroyEnvironment)};
    ImportPatch free_{"wtsapi32.dll", "WTSFreeMemory", Address(&SeeFree)};
    ImportPatch close_{"kernel32.dll", "CloseHandle", Address(&SeeClose)};
    ImportPatch createFile_{"kernel32.dll", "CreateFileW", Address(&SeeCreateFile)};
    ImportPatch verify_{"wintrust.dll", "WinVerifyTrust", Address(&SeeVerify)};
    ImportPatch sleep_{"kernel32.dll", "Sleep", Address(&SeeSleep)};
};

// The Windows version GetVersionExW reports to the code under test. Like Windows, it refuses a
// record whose size field is not set.
struct FakeVersion {
    static inline DWORD major = 0;
    static inline DWORD minor = 0;
    static inline bool succeeds = true;
    static inline int reads = 0;

    static BOOL WINAPI Report(LPOSVERSIONINFOW version)
    {
        ++reads;
        if (!succeeds || version->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        version->dwMajorVersion = major;
        version->dwMinorVersion = minor;
        return TRUE;
    }
};

// A launch machine whose service directory holds fnkeyd.exe and the publisher-signed indicators,
// recorded in the service's state in short form as the service records it.
struct IndicatorMachine : LaunchMachine {
    testfiles::ServiceProgramFolder folder;
    std::optional<ImportPatch> version;

    IndicatorMachine()
    {
        Console();
        wcscpy(g_serviceState.programDir, folder.ShortPath().c_str());
        g_userIndicatorMajorVersion = 0;
    }
    ~IndicatorMachine()
    {
        g_userIndicatorMajorVersion = 0;
        g_serviceState.programDir[0] = L'\0';
        g_serviceState.isWindowsXp = FALSE;
        started::WaitUntilAllEnded(15000);  // no indicator outlives its folder
    }

    std::wstring Program(const IndicatorCase& indicator) const { return folder.File(indicator.program); }
    // The path the service starts the indicator by.
    std::wstring StartedPath(const IndicatorCase& indicator) const
    {
        return folder.ShortPath() + L"\\" + indicator.program;
    }

    // GetVersionExW reports `major`.`minor` (or fails) from now on, and the user indicator's kept
    // version is emptied so that its next launch reads it. Stands in for the version Windows
    // reports: the test prefix reports 6.1 (Windows 7) and cannot show a 64-bit program Windows XP.
    void WindowsVersion(DWORD major, DWORD minor, bool succeeds = true)
    {
        FakeVersion::major = major;
        FakeVersion::minor = minor;
        FakeVersion::succeeds = succeeds;
        FakeVersion::reads = 0;
        if (!version) version.emplace("kernel32.dll", "GetVersionExW", reinterpret_cast<const void*>(&FakeVersion::Report));
        g_userIndicatorMajorVersion = 0;
    }

    // One launch for the console session, its platform calls observed; counts what it started and
    // checks that it left nothing behind.
    bool Launch(const IndicatorCase& indicator, const Scenario& scenario = {})
    {
        const std::wstring program = Program(indicator);
        standin::DeleteRecord(program);
        const DWORD before = started::Count();
        BOOL result = FALSE;
        {
            PlatformCalls calls(program, scenario);
            result = indicator.launch(ConsoleSession());
        }
        startedByLastLaunch = started::Count() - before;
        CheckReleased(*this);
        return result != FALSE;
    }
};

using Events = std::vector<std::string>;

// A list as text, so that a failed comparison shows both lists.
template <typename T>
std::string Listed(const std::vector<T>& items)
{
    std::string text = "{";
    for (const auto& item : items) {
        if (text.size() > 1) text += ", ";
        if constexpr (std::is_same_v<T, std::string>) {
            text.append("\"").append(item).append("\"");
        } else if constexpr (std::is_same_v<T, std::wstring>) {
            text.append("\"").append(item.begin(), item.end()).append("\"");  // ASCII paths and names only
        } else if constexpr (std::is_same_v<T, bool>) {
            text += item ? "true" : "false";
        } else {
            text += std::to_string(item);
        }
    }
    return text + "}";
}

}  // namespace


TEST_SUITE("indicators") {
TEST_CASE_FIXTURE(IndicatorMachine, "the logon indicator starts kivra.exe by its bare path on the logon desktop with the service's environment")
{
    Console(WTSActive, false);  // no user: the session has no user token, the service's token is used
    REQUIRE(Launch(kLogon));
    CHECK(startedByLastLaunch == 1);
    const std::wstring path = StartedPath(kLogon);
    REQUIRE(PlatformCalls::creations.size() == 1);
    const auto& creation = PlatformCalls::creations[0];
    CHECK(creation.application == path);
    CHECK(creation.commandLine == path);
    CHECK(creation.desktop == L"WinSta0\\WinLogon");
    CHECK(creation.startupHoldsOnlyDesktop);
    CHECK(creation.flags == 0);
    CHECK_FALSE(creation.environment);
    CHECK(PlatformCalls::profileNames.empty());
    CHECK(Listed(PlatformCalls::verifiedThroughHeldFile) == Listed(std::vector<bool>{true}));

    const auto record = standin::WaitForRecord(Program(kLogon));
    REQUIRE_FALSE(record.empty());
    CHECK(record.at(L"commandLine") == path);  // no quotes, no arguments
    CHECK(record.at(L"desktop") == L"WinSta0\\WinLogon");
    CHECK(record.at(L"envProbe") == L"service");      // no environment block: the service's own
    CHECK(record.at(L"priorityClass") == L"0x20");    // NORMAL_PRIORITY_CLASS
    CHECK(record.at(L"threadPriority") == L"0");      // not raised, unlike a handler's
    CHECK(standin::StartCount(Program(kLogon)) == 1);
}

TEST_CASE_FIXTURE(IndicatorMachine, "the user indicator starts kivrad.exe on the user's desktop with an environment for its token, which depends on the Windows version")
{
    struct Row {
        const char* name;
        DWORD major, minor;
        bool serviceToken;  // from Vista on: the service's token in the session, with a profile
    };
    const Row rows[] = {
        {"Windows Vista", 6, 0, true},
        {"Windows 10", 10, 0, true},
        {"Windows XP", 5, 1, false},
        {"Windows Server 2003", 5, 2, false},
    };
    const std::wstring path = StartedPath(kUser);
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        WindowsVersion(row.major, row.minor);
        // Each way without the other's token, so that a launch that took the wrong one fails.
        Console(WTSActive, !row.serviceToken);
        g_serviceState.primaryToken = row.serviceToken ? serviceToken.Get() : nullptr;

        REQUIRE(Launch(kUser));
        g_serviceState.primaryToken = serviceToken.Get();
        CHECK(startedByLastLaunch == 1);
        CHECK(FakeVersion::reads == 1);
        REQUIRE(PlatformCalls::creations.size() == 1);
        const auto& creation = PlatformCalls::creations[0];
        CHECK(creation.application == path);
        CHECK(creation.commandLine == path);
        CHECK(creation.desktop == L"WinSta0\\Default");
        CHECK(creation.startupHoldsOnlyDesktop);
        CHECK(creation.flags == (CREATE_UNICODE_ENVIRONMENT | HIGH_PRIORITY_CLASS));
        CHECK(creation.environment);
        if (row.serviceToken) {
            CHECK(Listed(PlatformCalls::profileNames) == Listed(std::vector<std::wstring>{L"tester"}));  // the session's user
        } else {
            CHECK(PlatformCalls::profileNames.empty());
        }

        const auto record = standin::WaitForRecord(Program(kUser));
        REQUIRE_FALSE(record.empty());
        CHECK(record.at(L"commandLine") == path);
        CHECK(record.at(L"desktop") == L"WinSta0\\Default");
        CHECK(record.at(L"envProbe") == L"profile");  // an environment block built for the token
        // HIGH_PRIORITY_CLASS is asked for (above); wine ignores it at process creation.
        CHECK(record.at(L"threadPriority") == L"0");
        CHECK(standin::StartCount(Program(kUser)) == 1);
    }
}

TEST_CASE_FIXTURE(IndicatorMachine, "the user indicator reads the Windows version once and keeps it")
{
    WindowsVersion(6, 0);
    REQUIRE(Launch(kUser));
    CHECK(FakeVersion::reads == 1);
    CHECK(PlatformCalls::profileNames.size() == 1);
    FakeVersion::major = 5;  // a second read would now take the pre-Vista way
    REQUIRE(Launch(kUser));
    CHECK(FakeVersion::reads == 1);
    CHECK(PlatformCalls::profileNames.size() == 1);

    // A failed read keeps no version: that launch takes the pre-Vista way, the next one reads again.
    WindowsVersion(6, 0, false);
    REQUIRE(Launch(kUser));
    CHECK(FakeVersion::reads == 1);
    CHECK(PlatformCalls::profileNames.empty());
    FakeVersion::succeeds = true;
    REQUIRE(Launch(kUser));
    CHECK(FakeVersion::reads == 2);
    CHECK(PlatformCalls::profileNames.size() == 1);
}

TEST_CASE_FIXTURE(IndicatorMachine, "each launch's steps in order, released in reverse on success and on every failure")
{
    struct Row {
        const char* name;
        const IndicatorCase* indicator;
        DWORD major;  // the user indicator's Windows version
        bool serviceToken;
        bool sessionUser;
        Scenario scenario;
        bool result;
        Events events;
    };
    const DWORD denied = ERROR_ACCESS_DENIED;
    const Row rows[] = {
        {"logon indicator started", &kLogon, 6, true, true, {}, true,
         {"check signature", "impersonate", "create process", "revert", "close thread", "close process", "close token",
          "close program file"}},
        {"logon indicator, the service's token cannot be copied", &kLogon, 6, false, true, {}, false,
         {"check signature", "close program file"}},
        {"logon indicator, impersonation refused", &kLogon, 6, true, true, {.impersonationError = denied}, false,
         {"check signature", "impersonate", "close token", "close program file"}},
        {"logon indicator, process creation refused", &kLogon, 6, true, true,
         {.createProcessRefusals = -1, .createProcessError = denied}, false,
         {"check signature", "impersonate", "create process", "revert", "close token", "close program file"}},

        {"user indicator started (Vista)", &kUser, 6, true, true, {}, true,
         {"check signature", "load profile", "impersonate", "create environment", "create process", "revert",
          "close thread", "close process", "destroy environment", "unload profile", "free user name", "close token",
          "close program file"}},
        {"user indicator (Vista), the service's token cannot be copied", &kUser, 6, false, true, {}, false,
         {"check signature", "close program file"}},
        {"user indicator (Vista), the profile cannot be loaded", &kUser, 6, true, true, {.profileError = denied}, false,
         {"check signature", "load profile", "free user name", "close token", "close program file"}},
        {"user indicator (Vista), impersonation refused", &kUser, 6, true, true, {.impersonationError = denied}, false,
         {"check signature", "load profile", "impersonate", "unload profile", "free user name", "close token",
          "close program file"}},
        {"user indicator (Vista), CreateEnvironmentBlock fails", &kUser, 6, true, true,
         {.environmentError = ERROR_NOT_ENOUGH_MEMORY}, false,
         {"check signature", "load profile", "impersonate", "create environment", "revert", "unload profile",
          "free user name", "close token", "close program file"}},
        {"user indicator (Vista), process creation refused", &kUser, 6, true, true,
         {.createProcessRefusals = -1, .createProcessError = denied}, false,
         {"check signature", "load profile", "impersonate", "create environment", "create process", "revert",
          "destroy environment", "unload profile", "free user name", "close token", "close program file"}},

        {"user indicator started (XP)", &kUser, 5, true, true, {}, true,
         {"check signature", "impersonate", "create environment", "create process", "revert", "close thread",
          "close process", "destroy environment", "close token", "close program file"}},
        {"user indicator (XP), no user logged on", &kUser, 5, true, false, {}, false,
         {"check signature", "close program file"}},
        {"user indicator (XP), CreateEnvironmentBlock fails", &kUser, 5, true, true,
         {.environmentError = ERROR_NOT_ENOUGH_MEMORY}, false,
         {"check signature", "impersonate", "create environment", "revert", "close token", "close program file"}},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        WindowsVersion(row.major, 0);
        Console(WTSActive, row.sessionUser);
        g_serviceState.primaryToken = row.serviceToken ? serviceToken.Get() : nullptr;
        CHECK(Launch(*row.indicator, row.scenario) == row.result);
        g_serviceState.primaryToken = serviceToken.Get();
        CHECK(Listed(PlatformCalls::events) == Listed(row.events));
        CHECK(startedByLastLaunch == (row.result ? 1u : 0u));
        CHECK(PlatformCalls::pauses.empty());
    }
}

TEST_CASE_FIXTURE(IndicatorMachine, "a program that is missing, unsigned or signed by another publisher is not started, and nothing waits")
{
    struct Row {
        const char* name;
        const wchar_t* replacement;  // in the bin folder; null: the program is missing
    };
    const Row rows[] = {
        {"missing", nullptr},
        {"unsigned", L"recorder.exe"},
        {"signed by another publisher", L"signed\\other-publisher.exe"},
        {"signature broken", L"signed\\tampered.exe"},
    };
    for (const IndicatorCase* indicator : {&kLogon, &kUser}) {
        for (const auto& row : rows) {
            INFO(std::string(indicator->name).append(", ").append(row.name));
            const std::wstring program = Program(*indicator);
            if (row.replacement == nullptr) {
                REQUIRE(DeleteFileW(program.c_str()));
            } else {
                REQUIRE(CopyFileW(testfiles::BinPath(row.replacement).c_str(), program.c_str(), FALSE));
            }
            CHECK_FALSE(Launch(*indicator));
            CHECK(startedByLastLaunch == 0);
            CHECK(PlatformCalls::creations.empty());
            CHECK(PlatformCalls::pauses.empty());
            CHECK(Listed(PlatformCalls::opens) == Listed(std::vector<std::wstring>{StartedPath(*indicator)}));
            if (row.replacement == nullptr) {
                CHECK(PlatformCalls::events.empty());
            } else {
                CHECK(Listed(PlatformCalls::events) == Listed(Events{"check signature", "close program file"}));
                CHECK(Listed(PlatformCalls::verifiedThroughHeldFile) == Listed(std::vector<bool>{true}));
            }
        }
    }
}

TEST_CASE_FIXTURE(IndicatorMachine, "the program's path must fit 259 units: a longer one opens and starts nothing")
{
    struct Row {
        const IndicatorCase* indicator;
        size_t dirUnits;
        bool fits;
    };
    const Row rows[] = {
        {&kLogon, 249, true}, {&kLogon, 250, false}, {&kUser, 248, true}, {&kUser, 249, false}, {&kUser, 250, false},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.indicator->name).append(", program directory of ").append(std::to_string(row.dirUnits)).append(" units"));
        const std::wstring dir = L"C:\\" + std::wstring(row.dirUnits - 3, L'd');
        wcscpy(g_serviceState.programDir, dir.c_str());
        CHECK_FALSE(Launch(*row.indicator));
        CHECK(startedByLastLaunch == 0);
        CHECK(PlatformCalls::creations.empty());
        if (row.fits) {
            // Formatted whole and tried (no such folder): the boundary is the format's, not the file's.
            CHECK(Listed(PlatformCalls::opens) == Listed(std::vector<std::wstring>{dir + L"\\" + row.indicator->program}));
        } else {
            CHECK(PlatformCalls::opens.empty());
        }
    }
}

TEST_CASE_FIXTURE(IndicatorMachine, "a program file that is not found is tried ten times, with a pause of 500 ms after each refusal")
{
    // Stands in for CreateProcessAsUserW refusing with ERROR_FILE_NOT_FOUND, which wine does not do
    // for a file that is there.
    struct Row {
        const char* name;
        int refusals;
        DWORD error;
        bool result;
        size_t attempts;
        size_t pauses;
    };
    const Row rows[] = {
        {"never found", -1, ERROR_FILE_NOT_FOUND, false, 10, 10},
        {"found at the fourth attempt", 3, ERROR_FILE_NOT_FOUND, true, 4, 3},
        {"refused for another reason", -1, ERROR_ACCESS_DENIED, false, 1, 0},
    };
    for (const IndicatorCase* indicator : {&kLogon, &kUser}) {
        for (const auto& row : rows) {
            INFO(std::string(indicator->name).append(", ").append(row.name));
            CHECK(Launch(*indicator, {.createProcessRefusals = row.refusals, .createProcessError = row.error}) ==
                  row.result);
            CHECK(PlatformCalls::creations.size() == row.attempts);
            CHECK(Listed(PlatformCalls::pauses) == Listed(std::vector<DWORD>(row.pauses, 500)));
            CHECK(startedByLastLaunch == (row.result ? 1u : 0u));
        }
    }
}

TEST_CASE_FIXTURE(IndicatorMachine, "on Windows XP a start refused for an unconnected session goes through the session's pipe, for the logon indicator only")
{
    // Stands in for Windows XP's CreateProcessAsUserW refusing a session whose terminal-services
    // side is not connected (ERROR_PIPE_NOT_CONNECTED), which wine never does; the pipe's server
    // side is played by the test and creates the process it is asked for.
    struct Row {
        const char* name;
        const IndicatorCase* indicator;
        DWORD error;
        bool result;
        size_t attempts;
        int connections;
    };
    const Row rows[] = {
        {"logon indicator: started through the pipe", &kLogon, ERROR_PIPE_NOT_CONNECTED, true, 1, 1},
        {"logon indicator: never found, so no pipe", &kLogon, ERROR_FILE_NOT_FOUND, false, 10, 0},
        {"user indicator: gives up", &kUser, ERROR_PIPE_NOT_CONNECTED, false, 1, 0},
    };
    standin::ReplacedSystemWinsta winsta(L"winsta_standin.dll");
    g_serviceState.isWindowsXp = TRUE;
    WindowsVersion(5, 1);
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        const std::wstring pipe = standin::UniquePipeName();
        standin::RequestedProcess seen;
        standin::TestPipeServer server(pipe, 5000, standin::CreateRequestedProcess(&seen));
        standin::Session console;
        console.connectState = WTSActive;
        console.userToken = true;
        console.userName = L"tester";
        console.pipeName = pipe;
        standin::SetSession(ConsoleSession(), console);

        CHECK(Launch(*row.indicator, {.createProcessRefusals = -1, .createProcessError = row.error}) == row.result);
        CHECK(PlatformCalls::creations.size() == row.attempts);
        CHECK(server.connections == row.connections);
        CHECK(startedByLastLaunch == (row.result ? 1u : 0u));
        if (row.connections == 0) continue;
        const std::wstring path = StartedPath(*row.indicator);
        CHECK(seen.application == path);
        CHECK(seen.commandLine == path);
        CHECK(seen.desktop == L"WinSta0\\WinLogon");
        CHECK(seen.flags == 0);
        CHECK_FALSE(seen.environment);
        const auto record = standin::WaitForRecord(Program(*row.indicator));
        REQUIRE_FALSE(record.empty());
        CHECK(record.at(L"desktop") == L"WinSta0\\WinLogon");
        CHECK(standin::StartCount(Program(*row.indicator)) == 1);
    }
}

TEST_CASE_FIXTURE(IndicatorMachine, "the program file cannot be changed between its check and its start, and is free once the indicator has ended")
{
    for (const IndicatorCase* indicator : {&kLogon, &kUser}) {
        INFO(std::string(indicator->name));
        const std::wstring program = Program(*indicator);
        const bool started = Launch(*indicator, {.probeHeldFile = true});
        // Tried from another process when process creation was asked for, after the check.
        REQUIRE(PlatformCalls::attemptsAtCreation.size() == 3);
        CHECK(PlatformCalls::attemptsAtCreation.at("write") == ERROR_SHARING_VIOLATION);
        CHECK(PlatformCalls::attemptsAtCreation.at("rename") == ERROR_SHARING_VIOLATION);
        CHECK(PlatformCalls::attemptsAtCreation.at("delete") == ERROR_SHARING_VIOLATION);
        REQUIRE(started);
        CHECK_FALSE(standin::WaitForRecord(program).empty());
        CHECK(standin::StartCount(program) == 1);
        // A running program's file is held by the platform itself: try once the indicator ended.
        REQUIRE(started::WaitUntilAllEnded(15000));
        const auto attemptsAfterwards = standin::TryChangeFromAnotherProcess(program);
        CHECK(attemptsAfterwards.at("write") == 0);
        CHECK(attemptsAfterwards.at("rename") == 0);
        CHECK(attemptsAfterwards.at("delete") == 0);
    }
}
}
