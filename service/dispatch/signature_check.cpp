#include "dispatch/signature_check.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "unique_handle.h"

namespace {

struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CertCloseStore(h, CERT_CLOSE_STORE_FORCE_FLAG); }
};
struct CertContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CertFreeCertificateContext(h); }
};
using UniqueCertStore = UniqueHandle<CertStoreTraits>;
using UniqueCertContext = UniqueHandle<CertContextTraits>;

// Owns the verification state of one WinVerifyTrust call made with WTD_STATEACTION_VERIFY and
// releases it with WTD_STATEACTION_CLOSE.
class TrustVerification {
public:
    TrustVerification(const wchar_t* path, HANDLE file)
    {
        fileInfo_.cbStruct = sizeof fileInfo_;
        fileInfo_.pcwszFilePath = path;
        fileInfo_.hFile = (file == INVALID_HANDLE_VALUE) ? nullptr : file;
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &fileInfo_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        data_.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
        result_ = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    ~TrustVerification()
    {
        if (data_.hWVTStateData == nullptr) return;
        const DWORD lastError = GetLastError();
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
        SetLastError(lastError);
    }
    TrustVerification(const TrustVerification&) = delete;
    TrustVerification& operator=(const TrustVerification&) = delete;

    bool Passed() const { return result_ == 0; }

    // The signer as the verification saw it, or null.
    CRYPT_PROVIDER_SGNR* Signer() const
    {
        if (data_.hWVTStateData == nullptr) return nullptr;
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data_.hWVTStateData);
        return provider != nullptr ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    }

private:
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO fileInfo_{};
    WINTRUST_DATA data_{};
    LONG result_ = -1;
};

// The signer's chain must reach a root, and a trusted one. The verification already demands
// this on Windows; asking the chain itself keeps the check independent of how lenient a
// verification provider is about roots.
bool SignerChainIsTrusted(const CRYPT_PROVIDER_SGNR& signer)
{
    if (signer.pChainContext == nullptr) return false;
    if (signer.pChainContext->TrustStatus.dwErrorStatus & CERT_TRUST_IS_PARTIAL_CHAIN) return false;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    return CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE, signer.pChainContext, &policy, &status) &&
           status.dwError == 0;
}

// Whether one certificate of the signer's chain has a subject containing `subject`, matched the
// way the certificate store matches CERT_FIND_SUBJECT_STR_W.
bool SignerChainNamesSubject(CRYPT_PROVIDER_SGNR* signer, const wchar_t* subject)
{
    UniqueCertStore chain(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
    if (!chain) return false;
    for (DWORD index = 0; index < signer->csCertChain; ++index) {
        CRYPT_PROVIDER_CERT* cert = WTHelperGetProvCertFromChain(signer, index);
        if (cert == nullptr || cert->pCert == nullptr) return false;
        if (!CertAddCertificateContextToStore(chain.Get(), cert->pCert, CERT_STORE_ADD_ALWAYS, nullptr)) return false;
    }
    UniqueCertContext found(CertFindCertificateInStore(chain.Get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                       CERT_FIND_SUBJECT_STR_W, subject, nullptr));
    return found.IsValid();
}

}  // namespace

bool VerifyPublisherSignature(const wchar_t* path, HANDLE file, const wchar_t* subject)
{
    if (path == nullptr || subject == nullptr) return false;
    TrustVerification verification(path, file);
    if (!verification.Passed()) return false;
    CRYPT_PROVIDER_SGNR* signer = verification.Signer();
    if (signer == nullptr) return false;
    return SignerChainIsTrusted(*signer) && SignerChainNamesSubject(signer, subject);
}
