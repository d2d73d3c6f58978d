#pragma once
// Helpers for tests that open the program's modal windows under Wine: the test thread runs the
// modal loop (a dialog, a common dialog or a message box) while a driver thread waits for the
// window, plays the user with SendMessageW and PostMessageW, and closes it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>

namespace velmora::testing {

inline std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

inline std::wstring TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(std::max(0, GetWindowTextW(window, text.data(), length + 1))));
  return text;
}

// The enabled, visible dialog window ("#32770") of a thread, other than `except`: with nested
// modal windows, the innermost one (its owners are disabled). Null when there is none.
inline HWND FindThreadDialog(DWORD thread, HWND except = nullptr) {
  struct Search {
    HWND except;
    HWND found;
  } search{except, nullptr};
  EnumThreadWindows(
      thread,
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (window == s->except || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
        if (ClassOf(window) != L"#32770") return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline HWND WaitForThreadDialog(DWORD thread, HWND except = nullptr,
                                std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (HWND found = FindThreadDialog(thread, except)) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

inline bool WaitUntilGone(HWND window, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (IsWindow(window)) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A command as its control reports it to the dialog.
inline void PostCommand(HWND dialog, int id, int notification = BN_CLICKED) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
inline void SendCommand(HWND dialog, int id, int notification = BN_CLICKED) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The window that has the keyboard focus in another thread.
inline HWND FocusOf(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// A key pressed in the thread's focused window, through the modal loop (so that the dialog
// manager sees it).
inline void PressKey(DWORD thread, WPARAM key) {
  HWND focus = FocusOf(thread);
  PostMessageW(focus, WM_KEYDOWN, key, 1);
  PostMessageW(focus, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

// Calls `open`, which runs a modal window on this thread, and plays `user` on that window from
// a driver thread once it is up. A window the user leaves open is cancelled (then closed), so
// that a failed expectation cannot hang the test. Returns what `open` returns.
template <class Open>
auto WithModal(const std::function<void(HWND)>& user, Open open) {
  const DWORD thread = GetCurrentThreadId();
  bool seen = false;
  std::thread driver([&] {
    HWND window = WaitForThreadDialog(thread);
    seen = window != nullptr;
    if (window == nullptr) return;
    user(window);
    if (!WaitUntilGone(window, std::chrono::seconds(5))) {
      ADD_FAILURE() << "the window was left open";
      PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
      if (!WaitUntilGone(window, std::chrono::seconds(5))) PostMessageW(window, WM_CLOSE, 0, 0);
    }
  });
  if constexpr (std::is_void_v<decltype(open())>) {
    open();
    driver.join();
    EXPECT_TRUE(seen) << "no window came up";
  } else {
    auto result = open();
    driver.join();
    EXPECT_TRUE(seen) << "no window came up";
    return result;
  }
}

}  // namespace velmora::testing
