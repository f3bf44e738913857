// Owners for Win32 handles that the backend (or a test) holds for the length of a scope.
// Include <windows.h> before this header.
#pragma once

#include <utility>

namespace plat::win32 {

// Owns one handle; `Traits` says what "none" is and how to release it.
template <class Traits> class Unique {
public:
    using Value = typename Traits::Value;

    Unique() = default;
    explicit Unique(Value v) : value_(v) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : value_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~Unique() { reset(); }

    Value get() const { return value_; }
    explicit operator bool() const { return Traits::valid(value_); }
    Value release() { return std::exchange(value_, Traits::none()); }
    void reset(Value v = Traits::none()) {
        if (Traits::valid(value_))
            Traits::close(value_);
        value_ = v;
    }

private:
    Value value_ = Traits::none();
};

// CreateFileW reports failure with INVALID_HANDLE_VALUE, most other calls with null:
// both mean "no handle" here.
struct HandleTraits {
    using Value = HANDLE;
    static Value none() { return nullptr; }
    static bool valid(Value v) { return v != nullptr && v != INVALID_HANDLE_VALUE; }
    static void close(Value v) { ::CloseHandle(v); }
};

struct KeyTraits {
    using Value = HKEY;
    static Value none() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { ::RegCloseKey(v); }
};

struct ModuleTraits {
    using Value = HMODULE;
    static Value none() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { ::FreeLibrary(v); }
};

struct HookTraits {
    using Value = HHOOK;
    static Value none() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { ::UnhookWindowsHookEx(v); }
};

struct WindowTraits {
    using Value = HWND;
    static Value none() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { ::DestroyWindow(v); }
};

struct MenuTraits {
    using Value = HMENU;
    static Value none() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { ::DestroyMenu(v); }
};

using UniqueHandle = Unique<HandleTraits>;
using UniqueKey = Unique<KeyTraits>;
using UniqueModule = Unique<ModuleTraits>;
using UniqueHook = Unique<HookTraits>;
using UniqueWindow = Unique<WindowTraits>;
using UniqueMenu = Unique<MenuTraits>;

// Releases a COM interface pointer.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (p_)
            p_->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    void** out() { return reinterpret_cast<void**>(&p_); }
    T** put() { return &p_; }
    T* release() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

} // namespace plat::win32
