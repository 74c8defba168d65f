#include "standins.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "registry_fixture.h"
#include "test_files.h"

namespace standin {

namespace {
constexpr const wchar_t* kSessionsKey = L"Software\\FnkeyStandIns\\Sessions";

std::wstring RecordPath(const std::wstring& program)
{
    return program + L".launch";
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

void ClearSessions()
{
    testreg::DeleteTree(L"Software\\FnkeyStandIns");
}

std::map<std::wstring, std::wstring> WaitForRecord(const std::wstring& program, DWORD timeoutMs)
{
    std::map<std::wstring, std::wstring> record;
    const std::wstring path = RecordPath(program);
    for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(50);
    }
    FILE* in = _wfopen(path.c_str(), L"r, ccs=UTF-8");
    if (in == nullptr) return record;
    wchar_t line[1024];
    while (fgetws(line, 1024, in) != nullptr) {
        std::wstring text(line);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
        const size_t eq = text.find(L'=');
        if (eq != std::wstring::npos) record[text.substr(0, eq)] = text.substr(eq + 1);
    }
    fclose(in);
    return record;
}

void DeleteRecord(const std::wstring& program)
{
    DeleteFileW(RecordPath(program).c_str());
}

bool RecordExists(const std::wstring& program)
{
    return GetFileAttributesW(RecordPath(program).c_str()) != INVALID_FILE_ATTRIBUTES;
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
