// Publisher signature check of programs the service starts with its own token.
#pragma once

#include <windows.h>

// The certificate subject text every program started with the service's token must carry.
inline constexpr const wchar_t* kPublisherName = L"Norvane(Japan)Ltd.";

// True when `path` carries a valid Authenticode signature whose signer's chain (the signer's
// certificate and its issuers, as the verification built it) holds a certificate whose subject
// contains `subject` (case-insensitive substring), and that chain ends in a trusted root.
// Certificates that are merely carried in the signature's bag do not count: they lie outside
// what the signature covers. `file` is an open handle on the same file (see ProgramFileLock) so
// that the file checked is the file later started; INVALID_HANDLE_VALUE or null lets the
// verification open `path` itself. Revocation is not consulted. Null path or subject: false.
bool VerifyPublisherSignature(const wchar_t* path, HANDLE file, const wchar_t* subject);
