// One owner type for every Win32 handle kind: a handle kind is a traits policy (type, invalid
// value, close function), so NULL-invalid and INVALID_HANDLE_VALUE-invalid handles never mix.
//
//   UniqueHkey key;
//   if (RegOpenKeyExW(root, name, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
//
// Put() closes what the owner held before handing out the address, so reusing an owner for a
// second open cannot leak. Closing keeps the thread's last-error value intact, so an owner that
// goes out of scope on a failure path does not overwrite the error the caller is about to read.
//
// With FNKEY_HANDLE_ACCOUNTING (the *_counted libraries, which only test programs link) every owner
// keeps a process-wide count of the valid handles it holds; HeldHandleCount() lets a test prove
// that a code path released everything.
#pragma once

#include <windows.h>

#include <utility>

#if defined(FNKEY_HANDLE_ACCOUNTING)
long HeldHandleCount();
void AdjustHeldHandleCount(long delta);
#endif

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type value) noexcept : value_(value) { Account(+1); }
    ~UniqueHandle() { Reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : value_(std::exchange(other.value_, Traits::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            value_ = std::exchange(other.value_, Traits::Invalid());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const noexcept { return value_; }
    bool IsValid() const noexcept { return value_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Gives up ownership without closing; the caller now owns the handle.
    Type Release() noexcept
    {
        Account(-1);
        return std::exchange(value_, Traits::Invalid());
    }

    // Closes the held handle (if any) and takes ownership of `value`.
    void Reset(Type value = Traits::Invalid()) noexcept
    {
        if (IsValid()) {
            const DWORD lastError = GetLastError();
            Account(-1);
            Traits::Close(value_);
            SetLastError(lastError);
        }
        value_ = value;
        Account(+1);
    }

    // Closes what is held and returns a pointer for an API to write a new handle into. The
    // returned proxy converts to Type*; when it goes away at the end of the full expression, a
    // handle written through it is counted as held.
    class PutProxy {
    public:
        explicit PutProxy(UniqueHandle& owner) noexcept : owner_(owner) {}
        ~PutProxy() { owner_.Account(+1); }
        PutProxy(const PutProxy&) = delete;
        PutProxy& operator=(const PutProxy&) = delete;
        operator Type*() const noexcept { return &owner_.value_; }

    private:
        UniqueHandle& owner_;
    };
    PutProxy Put() noexcept
    {
        Reset();
        return PutProxy(*this);
    }

private:
    void Account([[maybe_unused]] long delta) const noexcept
    {
#if defined(FNKEY_HANDLE_ACCOUNTING)
        if (IsValid()) AdjustHeldHandleCount(delta);
#endif
    }

    Type value_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { RegCloseKey(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { FreeLibrary(h); }
};

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { LocalFree(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { FindClose(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;  // token, process, thread, event, section
using UniqueFile = UniqueHandle<FileHandleTraits>;            // file, pipe, device
using UniqueHkey = UniqueHandle<RegKeyTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
