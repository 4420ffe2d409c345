// Driving a modal dialog from the outside: the call that runs it goes on a
// thread of its own, while the test finds that thread's windows and works
// their controls with window messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace test {

inline constexpr const char* kParamsCaption = "Quorvaline Deinterlace";
inline constexpr const char* kAddRectCaption = "Add rectangle";
inline constexpr const char* kFileCaption = "Choose rect file";

inline std::string WindowText(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

inline std::string ClassName(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

inline BOOL CALLBACK CollectWindow(HWND window, LPARAM windows) {
  reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  return TRUE;
}
// The top-level windows of a thread, of every thread, or the descendants
// of a window.
inline std::vector<HWND> ThreadWindows(DWORD thread) {
  std::vector<HWND> windows;
  EnumThreadWindows(thread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}
inline std::vector<HWND> TopWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}
inline std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> windows;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// Waits until `done` holds, for at most ten seconds.
template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    Sleep(10);
  }
  return done();
}

class DialogThread {
 public:
  explicit DialogThread(std::function<void()> call) {
    thread_ = std::thread([this, call] {
      thread_id_ = GetCurrentThreadId();
      call();
      done_ = true;
    });
    WaitFor([this] { return thread_id_ != 0; });
  }
  ~DialogThread() {
    if (!Finish()) {
      // A dialog the test could not close would hang the whole run.
      std::fprintf(stderr, "a dialog did not close; giving up\n");
      std::_Exit(1);
    }
  }
  DialogThread(const DialogThread&) = delete;
  DialogThread& operator=(const DialogThread&) = delete;

  // A visible window of the thread with this caption, or null.
  HWND Find(const char* caption) const {
    for (HWND window : ThreadWindows(thread_id_)) {
      if (IsWindowVisible(window) && WindowText(window) == caption) return window;
    }
    return nullptr;
  }

  // Waits for such a window; null after ten seconds.
  HWND Window(const char* caption) const {
    HWND window = nullptr;
    WaitFor([&] { return (window = Find(caption)) != nullptr; });
    return window;
  }

  // Waits for the call to return. After ten seconds the thread's dialogs
  // are asked to close; false when even that does not end the call.
  bool Finish() {
    if (!thread_.joinable()) return true;
    if (!WaitFor([this] { return done_.load(); })) {
      for (const char* caption : {"Error", kFileCaption, kAddRectCaption, kParamsCaption}) {
        if (HWND w = Find(caption)) PostMessageA(w, WM_CLOSE, 0, 0);
      }
      if (!WaitFor([this] { return done_.load(); })) return false;
    }
    thread_.join();
    return true;
  }

 private:
  std::thread thread_;
  std::atomic<DWORD> thread_id_{0};
  std::atomic<bool> done_{false};
};

inline void SetText(HWND dialog, int id, const char* text) {
  SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
inline std::string Text(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }
inline bool Checked(HWND dialog, int id) {
  return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
// A click that returns when it has been handled.
inline void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }
// A click on a button that opens a modal window or ends the dialog.
inline void Press(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

inline bool WaitGone(HWND window) {
  return WaitFor([&] { return !IsWindow(window); });
}

// Runs a call that opens the parameters dialog (the setup selector) and
// cancels the dialog. The call's result, or -1 when no dialog appeared.
inline int32_t CallAndCancelDialog(const std::function<int32_t()>& call) {
  int32_t result = -1;
  DialogThread thread([&] { result = call(); });
  HWND dialog = thread.Window(kParamsCaption);
  if (!dialog) return -1;
  Press(dialog, IDCANCEL);
  return thread.Finish() ? result : -1;
}

}  // namespace test
