#include "standins.h"

#include <wtsapi32.h>

#include <wincrypt.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "registry_fixture.h"
#include "standins/session_config.h"
#include "test_files.h"
#include "unique_handle.h"

namespace standin {

namespace {
constexpr const wchar_t* kSessionsKey = L"Software\\FnkeyStandIns\\Sessions";

std::wstring RecordPath(const std::wstring& program)
{
    return program + L".launch";
}

std::wstring StartMarksPath(const std::wstring& program)
{
    return program + L".started";
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The process ids in the start marks, oldest first.
std::vector<DWORD> StartedProcessIds(const std::wstring& program)
{
    std::vector<DWORD> ids;
    FILE* in = _wfopen(StartMarksPath(program).c_str(), L"r");
    if (in == nullptr) return ids;
    unsigned long id = 0;
    while (std::fscanf(in, " pid=%lu", &id) == 1) ids.push_back(static_cast<DWORD>(id));
    fclose(in);
    return ids;
}

// Whether the latest recorded start of `program` has ended; its exit code in *exitCode.
bool LatestStartEnded(const std::wstring& program, DWORD* exitCode)
{
    const std::vector<DWORD> ids = StartedProcessIds(program);
    if (ids.empty()) return false;
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ids.back()));
    if (!process) return false;  // gone already and its id released: the next poll sees the record or the deadline
    if (WaitForSingleObject(process.Get(), 0) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process.Get(), exitCode) != FALSE;
}

// Reads a record; false when the file cannot be opened just now. Opened with every sharing mode:
// the recorder's rename into place holds the file with delete access for a moment.
bool ReadRecord(const std::wstring& path, std::map<std::wstring, std::wstring>* record)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                        text.data(), static_cast<int>(text.size()))));
    record->clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        const size_t eq = line.find(L'=');
        if (eq != std::wstring::npos) (*record)[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return true;
}

}  // namespace

void SetSession(DWORD sessionId, const Session& session)
{
    const std::wstring key = std::wstring(kSessionsKey) + L"\\" + std::to_wstring(sessionId);
    testreg::DeleteTree(key.c_str());
    testreg::CreateKey(key.c_str());
    if (session.connectState) testreg::SetDword(key.c_str(), L"ConnectState", *session.connectState);
    testreg::SetDword(key.c_str(), L"UserToken", session.userToken ? 1 : 0);
    if (!session.userName.empty()) testreg::SetString(key.c_str(), L"UserName", session.userName);
    if (!session.pipeName.empty()) testreg::SetString(key.c_str(), L"PipeName", session.pipeName);
}

void SetConsoleSession(bool userLoggedOn, const std::wstring& userName)
{
    Session console;
    console.connectState = WTSActive;
    console.userToken = userLoggedOn;
    console.userName = userName;
    SetSession(WTSGetActiveConsoleSessionId(), console);
}

void ClearSessions()
{
    testreg::DeleteTree(L"Software\\FnkeyStandIns");
}

FailingStandInFunction::FailingStandInFunction(const wchar_t* function)
{
    testreg::DeleteValue(kStandInKey, kStandInFailedCallsValue);
    testreg::SetString(kStandInKey, kStandInFailFunctionValue, function);
}

FailingStandInFunction::~FailingStandInFunction()
{
    Clear();
    testreg::DeleteValue(kStandInKey, kStandInFailedCallsValue);
}

void FailingStandInFunction::Clear()
{
    testreg::DeleteValue(kStandInKey, kStandInFailFunctionValue);
}

DWORD FailingStandInFunction::FailedCalls() const
{
    return testreg::GetDword(kStandInKey, kStandInFailedCallsValue).value_or(0);
}

bool FailingStandInFunction::WaitForFailedCallsAbove(DWORD count, DWORD timeoutMs) const
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (FailedCalls() <= count) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
    return true;
}

std::map<std::wstring, std::wstring> WaitForRecord(const std::wstring& program, DWORD timeoutMs)
{
    const std::wstring path = RecordPath(program);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::map<std::wstring, std::wstring> record;
    for (;;) {
        if (ReadRecord(path, &record)) return record;
        DWORD exitCode = 0;
        if (LatestStartEnded(program, &exitCode)) {
            if (ReadRecord(path, &record)) return record;  // written just before it ended
            if (!FileExists(path)) {
                std::fprintf(stderr, "%ls started but ended with exit code 0x%08lX before writing its record\n",
                             program.c_str(), static_cast<unsigned long>(exitCode));
                return {};
            }
        }
        if (GetTickCount64() >= deadline) return {};
        Sleep(20);
    }
}

void DeleteRecord(const std::wstring& program)
{
    DeleteFileW(RecordPath(program).c_str());
    DeleteFileW(StartMarksPath(program).c_str());
}

size_t StartCount(const std::wstring& program)
{
    return StartedProcessIds(program).size();
}

bool ProgramRunning(const std::wstring& fileName)
{
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) throw std::runtime_error("cannot list the processes");
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, fileName.c_str()) == 0) return true;
    }
    return false;
}

namespace {
// `path` in long form (the service starts programs by the short form of their folder).
std::wstring LongPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH];
    const DWORD length = GetLongPathNameW(path.c_str(), full, MAX_PATH);
    return length != 0 && length < MAX_PATH ? std::wstring(full) : path;
}
}  // namespace

bool WaitForStartCount(const std::wstring& program, size_t count, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (StartCount(program) < count) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
    return true;
}

bool WaitUntilNoneRunning(std::initializer_list<std::wstring> fileNames, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        bool any = false;
        for (const auto& name : fileNames) any = any || ProgramRunning(name);
        if (!any) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
}

bool NeverStarted(const std::wstring& program)
{
    if (StartCount(program) != 0) return false;
    // A process of this very file (not of a namesake in another folder, say an earlier test's
    // that still runs): one that cannot be asked for its file counts as this one.
    const std::wstring fileName = program.substr(program.find_last_of(L'\\') + 1);
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) throw std::runtime_error("cannot list the processes");
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, fileName.c_str()) != 0) continue;
        UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (!process || !QueryFullProcessImageNameW(process.Get(), 0, image, &size)) return false;
        if (lstrcmpiW(LongPath(image).c_str(), LongPath(program).c_str()) == 0) return false;
    }
    return true;
}

TrustedTestRoot::TrustedTestRoot()
{
    FILE* file = _wfopen(testfiles::BinPath(L"pki\\root.cer").c_str(), L"rb");
    if (file != nullptr) {
        char chunk[4096];
        size_t got = 0;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) encoded_.append(chunk, got);
        fclose(file);
    }
    if (encoded_.empty()) throw std::runtime_error("pki\\root.cer is missing");
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (root == nullptr) throw std::runtime_error("cannot open the Root store");
    const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(encoded_.data()),
                                                        static_cast<DWORD>(encoded_.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                        nullptr);
    CertCloseStore(root, 0);  // the registry-backed store persists on close
    if (!added) throw std::runtime_error("cannot add the test root");
}

TrustedTestRoot::~TrustedTestRoot()
{
    if (keep_) return;
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (root == nullptr) return;
    PCCERT_CONTEXT mine = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(encoded_.data()),
                                                       static_cast<DWORD>(encoded_.size()));
    if (mine != nullptr) {
        PCCERT_CONTEXT found = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, mine, nullptr);
        if (found != nullptr) CertDeleteCertificateFromStore(found);  // frees `found`
        CertFreeCertificateContext(mine);
    }
    CertCloseStore(root, 0);
}

std::map<std::string, DWORD> TryChangeFromAnotherProcess(const std::wstring& path)
{
    std::map<std::string, DWORD> results;
    for (const char* operation : {"write", "rename", "delete"}) {
        std::wstring commandLine = L"\"" + testfiles::BinPath(L"filepoke.exe") + L"\" " +
                                   std::wstring(operation, operation + strlen(operation)) + L" \"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            throw std::runtime_error("cannot start filepoke.exe");
        }
        WaitForSingleObject(process.hProcess, 30000);
        DWORD code = 0xFFFFFFFF;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        results[operation] = code;
    }
    return results;
}

}  // namespace standin
