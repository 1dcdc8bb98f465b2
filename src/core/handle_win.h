// Move-only owners for Win32 handles: one template (close function + empty value), one alias per
// handle type. Closing preserves the thread's last error so that a caller can still report it.
#pragma once

#include <windows.h>

#include <utility>

namespace stub {

// Closes a handle through close with the thread's last error kept. Out of line, once for every owner.
void CloseKeepingLastError(void (*close)(void*), void* handle);

template <typename T, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const { return value_; }
  // For the out-parameter of a function that creates the handle: whatever was held is closed first.
  T* put() {
    reset();
    return &value_;
  }
  explicit operator bool() const { return Traits::IsValid(value_); }
  T release() { return std::exchange(value_, Traits::Empty()); }
  void reset(T value = Traits::Empty()) {
    if (Traits::IsValid(value_)) CloseKeepingLastError(Traits::Close, value_);
    value_ = value;
  }

 private:
  T value_ = Traits::Empty();
};

struct KernelHandleTraits {
  static HANDLE Empty() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(void* h) { ::CloseHandle(h); }
};
using ScopedHandle = UniqueHandle<HANDLE, KernelHandleTraits>;

struct FindHandleTraits {
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(void* h) { ::FindClose(h); }
};
using ScopedFindHandle = UniqueHandle<HANDLE, FindHandleTraits>;

struct RegKeyTraits {
  static HKEY Empty() { return nullptr; }
  static bool IsValid(HKEY h) { return h != nullptr; }
  static void Close(void* h) { ::RegCloseKey(static_cast<HKEY>(h)); }
};
using ScopedRegKey = UniqueHandle<HKEY, RegKeyTraits>;

struct ServiceHandleTraits {
  static SC_HANDLE Empty() { return nullptr; }
  static bool IsValid(SC_HANDLE h) { return h != nullptr; }
  static void Close(void* h) { ::CloseServiceHandle(static_cast<SC_HANDLE>(h)); }
};
using ScopedServiceHandle = UniqueHandle<SC_HANDLE, ServiceHandleTraits>;

struct EventSourceTraits {
  static HANDLE Empty() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr; }
  static void Close(void* h) { ::DeregisterEventSource(h); }
};
using ScopedEventSource = UniqueHandle<HANDLE, EventSourceTraits>;

struct ModuleTraits {
  static HMODULE Empty() { return nullptr; }
  static bool IsValid(HMODULE h) { return h != nullptr; }
  static void Close(void* h) { ::FreeLibrary(static_cast<HMODULE>(h)); }
};
using ScopedModule = UniqueHandle<HMODULE, ModuleTraits>;

// A window is destroyed by the thread that created it; only that thread may hold this owner.
struct WindowTraits {
  static HWND Empty() { return nullptr; }
  static bool IsValid(HWND h) { return h != nullptr; }
  static void Close(void* h) { ::DestroyWindow(static_cast<HWND>(h)); }
};
using ScopedWindow = UniqueHandle<HWND, WindowTraits>;

struct BitmapTraits {
  static HBITMAP Empty() { return nullptr; }
  static bool IsValid(HBITMAP h) { return h != nullptr; }
  static void Close(void* h) { ::DeleteObject(static_cast<HBITMAP>(h)); }
};
using ScopedBitmap = UniqueHandle<HBITMAP, BitmapTraits>;

}  // namespace stub
