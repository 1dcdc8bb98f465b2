// The hand-off between two starts of one windowed application. The listener thread owns the window
// and the queue of argument lists; the main thread only starts it and, once the JVM exists, sets the
// event that lets it call into Java. A call blocks the thread's message loop, so a second start that
// comes while the method runs gets no answer and falls back to the refusal message, as it would with
// an instance that hangs.
#include "app/second_instance_win.h"

#include <windows.h>

#include <memory>

#include "core/hand_off.h"
#include "core/handle_win.h"
#include "core/system_win.h"
#include "jvm/jvm_host.h"

namespace stub {
namespace {

constexpr wchar_t kWindowClass[] = L"TarvikSecondInstance";
constexpr char kListenerThreadName[] = "Tarvik second-instance listener";
// Marks a WM_COPYDATA as a hand-off of this format; anything else is refused.
constexpr ULONG_PTR kHandOffTag = 0x54534931;  // "TSI1"
constexpr DWORD kPollMilliseconds = 50;

struct Listener {
  std::u16string title;  // the mutex name: which application's window this is
  MethodReference method;
  ScopedHandle jvm_ready;  // manual-reset event, set once the JVM exists
  std::vector<std::vector<std::string>> pending;  // listener thread only, oldest first
};

// Written by the main thread before the listener thread starts; never destroyed, as the thread runs
// until the process ends.
Listener* g_listener = nullptr;

BOOL CALLBACK FrontIfVisibleInProcess(HWND window, LPARAM) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
  return FALSE;
}

// The second start has allowed this process the foreground while it waits for the answer.
void BringProcessWindowToFront() { ::EnumWindows(FrontIfVisibleInProcess, 0); }

LRESULT CALLBACK ListenerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wparam, lparam);
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
  if (data->dwData != kHandOffTag || data->cbData % sizeof(char16_t) != 0 ||
      data->cbData > (kHandOffDeadlineUnits + kMaxHandOffUnits) * sizeof(char16_t)) {
    return FALSE;
  }
  std::optional<std::vector<std::string>> args = AcceptHandOff(
      std::u16string_view(static_cast<const char16_t*>(data->lpData), data->cbData / sizeof(char16_t)),
      ::GetTickCount64());
  if (!args) return FALSE;
  g_listener->pending.push_back(std::move(*args));
  BringProcessWindowToFront();
  return TRUE;
}

DWORD WINAPI ListenerThread(LPVOID) {
  Listener& listener = *g_listener;
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ListenerWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassExW(&window_class);
  ScopedWindow window(::CreateWindowExW(0, kWindowClass, Wide(listener.title), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        instance, nullptr));
  if (!window) return 0;
  bool jvm_ready = false;
  for (;;) {
    // Until the JVM exists the thread waits for it as well as for messages; afterwards for messages only.
    const HANDLE ready = listener.jvm_ready.get();
    const DWORD woken =
        ::MsgWaitForMultipleObjectsEx(jvm_ready ? 0 : 1, &ready, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0 && !jvm_ready) jvm_ready = true;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    while (jvm_ready && !listener.pending.empty()) {
      const std::vector<std::string> args = std::move(listener.pending.front());
      listener.pending.erase(listener.pending.begin());
      // Attached for the call alone, which frees whatever it made in the JVM; failures are reported.
      (void)RunArgumentsMethod(kListenerThreadName, listener.method, args);
    }
  }
}

// The running instance's window, found by its class and the mutex name on this desktop.
class Win32RunningInstance : public RunningInstance {
 public:
  explicit Win32RunningInstance(const std::string& instance_name) : title_(WideOf(instance_name)) {}
  std::uint64_t Now() const override { return ::GetTickCount64(); }
  void Pause() const override { ::Sleep(kPollMilliseconds); }
  bool Find() override {
    window_ = ::FindWindowExW(HWND_MESSAGE, nullptr, kWindowClass, Wide(title_));
    return window_ != nullptr;
  }
  void AllowForeground() override {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window_, &owner);
    ::AllowSetForegroundWindow(owner);
  }
  bool Send(const std::u16string& block, std::uint64_t wait_ms) override {
    COPYDATASTRUCT data{kHandOffTag, static_cast<DWORD>(block.size() * sizeof(char16_t)),
                        const_cast<char16_t*>(block.data())};
    DWORD_PTR answer = FALSE;
    return ::SendMessageTimeoutW(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                                 static_cast<UINT>(wait_ms), &answer) != 0 &&
           answer == TRUE;
  }

 private:
  std::u16string title_;
  HWND window_ = nullptr;
};

}  // namespace

bool HandToRunningInstance(const std::string& instance_name, const std::vector<std::string>& args) {
  Win32RunningInstance instance(instance_name);
  return HandOffArguments(instance, args);
}

void StartSecondInstanceListener(const std::string& instance_name, const MethodReference& method) {
  // Loaded here, on the main thread, like the splash's: two threads must not load it at once.
  ::LoadLibraryW(L"user32.dll");
  auto listener = std::make_unique<Listener>();
  listener->title = WideOf(instance_name);
  listener->method = method;
  listener->jvm_ready.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!listener->jvm_ready) return;
  g_listener = listener.get();
  ScopedHandle thread(::CreateThread(nullptr, 0, ListenerThread, nullptr, 0, nullptr));
  if (thread) {
    listener.release();  // the thread's now, for the life of the process
  } else {
    g_listener = nullptr;
  }
}

void OpenSecondInstanceListener() {
  if (g_listener != nullptr) ::SetEvent(g_listener->jvm_ready.get());
}

}  // namespace stub
