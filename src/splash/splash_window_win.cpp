// The splash window: bitmap 8000 in a captionless "STATIC" control, centred on the screen, living on
// its own thread with its own message loop. The control is subclassed rather than given a class of
// its own because the system class already draws a bitmap at its natural size. Which timer closes it
// and where it sits are decided in splash_rules, which is tested natively.
#include "splash/splash_window.h"

#include <windows.h>

#include <memory>

#include "core/config_layout.h"
#include "core/handle_win.h"
#include "core/system_win.h"
#include "splash/splash_rules.h"

namespace stub {
namespace {

constexpr DWORD kSplashStyle = WS_POPUP | SS_BITMAP;
static_assert(kSplashStyle == 0x8000000E, "a popup static control showing a bitmap, created hidden");

// Process-wide splash state. Only the splash thread reads or writes it, so no lock is needed.
HWND g_splash_window = nullptr;
// The splash thread, and the event it sets once it has its window and message queue (or has given
// up on the window); EndSplash needs both.
ScopedHandle g_splash_thread;
DWORD g_splash_thread_id = 0;
ScopedHandle g_splash_ready;
constexpr DWORD kSplashEndWaitMs = 5000;
WNDPROC g_class_window_proc = nullptr;
int g_window_counter = 0;

BOOL CALLBACK CountIfVisibleInProcess(HWND window, LPARAM process_id) noexcept {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process_id) && ::IsWindowVisible(window)) ++g_window_counter;
  return TRUE;
}

int CountVisibleProcessWindows(DWORD process_id) {
  g_window_counter = 0;
  ::EnumWindows(CountIfVisibleInProcess, static_cast<LPARAM>(process_id));
  return g_window_counter;
}

// Hidden first, so that the splash leaves the screen at once; the window itself ends with its thread
// once the loop has reached the quit message.
void CloseSplash() {
  ::ShowWindow(g_splash_window, SW_HIDE);
  ::PostMessageW(g_splash_window, WM_QUIT, 0, 0);
}

void OnTimer(HWND window, WPARAM timer_id) {
  if (timer_id == kDisplayTimeTimer) {
    ::KillTimer(window, kDisplayTimeTimer);
    CloseSplash();
  } else if (timer_id == kWindowWatchTimer) {
    // The splash is one of the visible windows; a second one is the application's (or an error box).
    if (CountVisibleProcessWindows(::GetCurrentProcessId()) >= 2) {
      ::KillTimer(window, kWindowWatchTimer);
      CloseSplash();
    }
  }
}

LRESULT CALLBACK SplashWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case WM_NCHITTEST:
      // A static control is transparent to the mouse; clicks on the splash must not fall through to
      // whatever lies below it.
      return HTCLIENT;
    case WM_CLOSE:
      ::PostQuitMessage(0);
      break;
    case WM_TIMER:
      OnTimer(window, wparam);
      break;
    case WM_NCDESTROY:
      // The class procedure destroys the window on WM_CLOSE; the thread must not destroy it again.
      g_splash_window = nullptr;
      break;
    default:
      break;
  }
  return ::CallWindowProcW(g_class_window_proc, window, message, wparam, lparam);
}

// On failure to load the bitmap the window stays hidden and sizeless, and the thread still runs its
// timer and loop, so the closing rules do not depend on the image.
ScopedWindow CreateSplashWindow(const SplashSettings& settings, ScopedBitmap& bitmap) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  ScopedWindow window(::CreateWindowExW(0, L"STATIC", Wide(WideOf(settings.text)), kSplashStyle, 0, 0, 0, 0, nullptr,
                                        nullptr, instance, nullptr));
  if (!window) return window;
  g_splash_window = window.get();
  // The Ptr forms are the ones that exist on 64-bit Windows and hold a whole procedure address.
  g_class_window_proc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window.get(), GWLP_WNDPROC));
  ::SetWindowLongPtrW(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SplashWindowProc));

  bitmap.reset(::LoadBitmapW(instance, MAKEINTRESOURCEW(kSplashBitmapId)));
  if (!bitmap) return window;
  // The control takes the bitmap's size but not its ownership: the bitmap must outlive the window.
  ::SendMessageW(window.get(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));

  RECT rect = {};
  ::GetWindowRect(window.get(), &rect);
  const SplashOrigin origin = CentreOnScreen(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                                             rect.right - rect.left, rect.bottom - rect.top);
  // Neither topmost nor activated: the splash must not steal the focus from the user's other work.
  ::SetWindowPos(window.get(), nullptr, origin.left, origin.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(window.get(), SW_SHOW);
  ::BringWindowToTop(window.get());
  return window;
}

void StartCloseTimer(const SplashSettings& settings, HWND window) {
  const SplashTimer timer = ChooseSplashTimer(settings.show_splash, settings.seconds);
  if (timer.id != kNoSplashTimer) ::SetTimer(window, timer.id, timer.interval_ms, nullptr);
}

// Takes over the settings that StartSplash made for it.
DWORD WINAPI SplashThread(LPVOID parameter) noexcept {
  const std::unique_ptr<const SplashSettings> settings(static_cast<const SplashSettings*>(parameter));
  // Declared before the window so that the window is destroyed first and never draws a freed bitmap.
  ScopedBitmap bitmap;
  ScopedWindow window = CreateSplashWindow(*settings, bitmap);
  // Without a window no timer message could ever arrive, so there is nothing to wait for.
  if (!window) {
    ::SetEvent(g_splash_ready.get());
    return 0;
  }
  StartCloseTimer(*settings, window.get());
  ::SetEvent(g_splash_ready.get());

  MSG message;
  // GetMessage's -1 (an invalid argument) would otherwise spin this loop for the life of the process.
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (g_splash_window == nullptr) window.release();
  return 0;
}

// The launchers import the user-interface and graphics libraries on first use. Their loading and
// initialisation must not happen on two threads at once (the splash thread and a message box of the
// main thread), so both are loaded here, on the main thread; each function is still bound at its
// first call, which any thread may make (binding writes the same address whoever does it).
void LoadWindowLibraries() {
  ::LoadLibraryW(L"user32.dll");
  ::LoadLibraryW(L"gdi32.dll");
}

}  // namespace

void StartSplash(const SplashSettings& settings) {
  LoadWindowLibraries();
  auto copy = std::make_unique<const SplashSettings>(settings);
  g_splash_ready.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!g_splash_ready) return;
  g_splash_thread.reset(::CreateThread(nullptr, 0, SplashThread, const_cast<SplashSettings*>(copy.get()), 0,
                                       &g_splash_thread_id));
  if (g_splash_thread) copy.release();  // the thread's now
}

// Under Wine a process that ends while the splash thread is still inside CreateWindowEx tears down the
// X11 library under that thread, which then dies of a segmentation fault; Windows too kills such a
// thread at an arbitrary point. So the process ends only after the splash thread has left its loop.
void EndSplash() {
  if (!g_splash_thread) return;
  ::WaitForSingleObject(g_splash_ready.get(), kSplashEndWaitMs);
  ::PostThreadMessageW(g_splash_thread_id, WM_QUIT, 0, 0);
  ::WaitForSingleObject(g_splash_thread.get(), kSplashEndWaitMs);
  g_splash_thread.reset();
  g_splash_ready.reset();
}

}  // namespace stub
