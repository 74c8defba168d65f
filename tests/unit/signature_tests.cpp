#include <doctest.h>

#include <string>

#include "dispatch/program_file_lock.h"
#include "dispatch/signature_check.h"
#include "standins.h"
#include "test_files.h"

TEST_SUITE("signature") {
TEST_CASE("the publisher must be named in the signer's chain of a valid signature")
{
    standin::TrustedTestRoot trusted;
    struct Row {
        const wchar_t* file;  // in bin\signed
        bool passes;
    };
    const Row rows[] = {
        {L"publisher.exe", true},            // the leaf's subject holds the publisher text
        {L"ou-only.exe", true},              // ... only in its OU
        {L"other-case.exe", true},           // ... in other letter case
        {L"publisher-ca.exe", true},         // only the issuing CA of the signer's chain holds it
        {L"other-publisher.exe", false},     // validly signed by another publisher
        {L"other-publisher-bag.exe", false}, // ... with a self-made certificate naming the publisher in the bag
        {L"unsigned.exe", false},
        {L"tampered.exe", false},            // signed, then changed
        {L"untrusted-root.exe", false},      // the chain ends in a root nobody trusts
        {L"unknown-issuer.exe", false},      // the signer's issuer cannot be found
        {L"missing.exe", false},
    };
    for (const auto& row : rows) {
        const std::wstring path = testfiles::BinPath(L"signed\\") + row.file;
        CAPTURE(std::string(path.begin(), path.end()));
        UniqueFile held = LockProgramFile(path.c_str());
        CHECK(held.IsValid() == (row.passes || std::wstring(row.file) != L"missing.exe"));
        CHECK(VerifyPublisherSignature(path.c_str(), held.Get(), kPublisherName) == row.passes);
        CHECK(VerifyPublisherSignature(path.c_str(), INVALID_HANDLE_VALUE, kPublisherName) == row.passes);
    }
    // Wine's WinVerifyTrust accepts a chain ending in an untrusted root and a chain that stops
    // short of any root; the two refusals above come from the check's own chain-policy step,
    // the same answer Windows's verification gives.
    MESSAGE("untrusted-root.exe and unknown-issuer.exe are refused by the chain-policy step, not by wine's WinVerifyTrust");
}

TEST_CASE("null arguments fail")
{
    // With the root trusted, so that only the missing argument can make a call fail.
    standin::TrustedTestRoot trusted;
    const std::wstring path = testfiles::BinPath(L"signed\\publisher.exe");
    REQUIRE(VerifyPublisherSignature(path.c_str(), INVALID_HANDLE_VALUE, kPublisherName));
    CHECK_FALSE(VerifyPublisherSignature(nullptr, INVALID_HANDLE_VALUE, kPublisherName));
    CHECK_FALSE(VerifyPublisherSignature(path.c_str(), INVALID_HANDLE_VALUE, nullptr));
}

TEST_CASE("a locked program file cannot be written, renamed or deleted by another process")
{
    testfiles::ScratchDir scratch;
    const std::wstring program = scratch.Copy(testfiles::BinPath(L"recorder.exe"), L"locked.exe");
    {
        UniqueFile held = LockProgramFile(program.c_str());
        REQUIRE(held);
        const auto attempts = standin::TryChangeFromAnotherProcess(program);
        CHECK(attempts.at("write") == ERROR_SHARING_VIOLATION);
        CHECK(attempts.at("rename") == ERROR_SHARING_VIOLATION);
        CHECK(attempts.at("delete") == ERROR_SHARING_VIOLATION);
    }
    const auto attempts = standin::TryChangeFromAnotherProcess(program);
    CHECK(attempts.at("write") == 0);
    CHECK(attempts.at("rename") == 0);
    CHECK(attempts.at("delete") == 0);
}
}

// A process of its own: the platform's chain engine keeps the roots it has seen for the life of
// the process, so a root trusted and removed earlier in the same run would still count.
TEST_SUITE("signature_untrusted") {
TEST_CASE("without the test root trusted, even the publisher's own signature does not pass")
{
    const std::wstring path = testfiles::BinPath(L"signed\\publisher.exe");
    REQUIRE_MESSAGE(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES, "the signed program is missing");
    CHECK_FALSE(VerifyPublisherSignature(path.c_str(), INVALID_HANDLE_VALUE, kPublisherName));
}
}
