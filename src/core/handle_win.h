// Move-only owners for Win32 handles: one template (close function + empty value), one alias per
// handle type. Closing preserves the thread's last error so that a caller can still report it.
#pragma once

#include <windows.h>

#include <utility>

namespace stub {

// Closes a handle through close with the thread's last error kept. Out of line, once for every owner.
void CloseKeepingLastError(void (*close)(void*), void* handle);

// Which values of a handle type stand for no handle: null alone, or null and INVALID_HANDLE_VALUE (the
// second form also being the value an empty owner holds, as a find handle's creator reports failure).
enum class EmptyHandle { kNull, kNullOrInvalid, kInvalidOrNull };

// The owner of one handle of type T, closed through Close.
template <typename T, auto Close, EmptyHandle kEmpty = EmptyHandle::kNull>
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
  explicit operator bool() const { return IsValid(value_); }
  T release() { return std::exchange(value_, Empty()); }
  void reset(T value = Empty()) {
    if (IsValid(value_)) CloseKeepingLastError(CloseUntyped, value_);
    value_ = value;
  }

 private:
  static T Empty() {
    if constexpr (kEmpty == EmptyHandle::kInvalidOrNull) return reinterpret_cast<T>(INVALID_HANDLE_VALUE);
    return nullptr;
  }
  static bool IsValid(T value) {
    if constexpr (kEmpty == EmptyHandle::kNull) return value != nullptr;
    return value != nullptr && static_cast<void*>(value) != INVALID_HANDLE_VALUE;
  }
  static void CloseUntyped(void* value) { Close(static_cast<T>(value)); }

  T value_ = Empty();
};

using ScopedHandle = UniqueHandle<HANDLE, ::CloseHandle, EmptyHandle::kNullOrInvalid>;
using ScopedFindHandle = UniqueHandle<HANDLE, ::FindClose, EmptyHandle::kInvalidOrNull>;
using ScopedRegKey = UniqueHandle<HKEY, ::RegCloseKey>;
using ScopedServiceHandle = UniqueHandle<SC_HANDLE, ::CloseServiceHandle>;
using ScopedEventSource = UniqueHandle<HANDLE, ::DeregisterEventSource>;
using ScopedModule = UniqueHandle<HMODULE, ::FreeLibrary>;
// A window is destroyed by the thread that created it; only that thread may hold this owner.
using ScopedWindow = UniqueHandle<HWND, ::DestroyWindow>;
using ScopedBitmap = UniqueHandle<HBITMAP, ::DeleteObject>;

}  // namespace stub
