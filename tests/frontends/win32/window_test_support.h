#pragma once
// What the Win32 window's tests share: a registry root of their own, Winsock for the support
// library's loopback host, a message pump that never waits forever, and an answerer for the
// message boxes and dialogs the window opens while the test waits.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "frontends/win32/win32_text.h"
#include "support/loopback_host.h"

namespace velmora::testing {

// A key under HKEY_CURRENT_USER that stands in for HKEY_CURRENT_USER itself, so that each test
// starts with no settings and leaves none behind.
class TestRegistryRoot {
 public:
  TestRegistryRoot() {
    static int counter = 0;
    path_ = L"Software\\VelmoraWindowTest\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
  }
  ~TestRegistryRoot() {
    if (key_ != nullptr) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }
  TestRegistryRoot(const TestRegistryRoot&) = delete;
  TestRegistryRoot& operator=(const TestRegistryRoot&) = delete;

  HKEY key() const { return key_; }

  // A value's type and bytes below the root, or none.
  std::optional<std::pair<DWORD, std::vector<uint8_t>>> Value(const std::wstring& subkey, const std::wstring& name) const {
    DWORD type = 0, size = 0;
    if (RegGetValueW(key_, subkey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::vector<uint8_t> data(size);
    if (RegGetValueW(key_, subkey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    data.resize(size);
    return std::make_pair(type, data);
  }
  // A four-byte value (REG_DWORD, or REG_BINARY as the colours are kept).
  std::optional<DWORD> Dword(const std::wstring& subkey, const std::wstring& name) const {
    const auto v = Value(subkey, name);
    if (!v || v->second.size() != 4) return std::nullopt;
    DWORD d = 0;
    std::copy(v->second.begin(), v->second.end(), reinterpret_cast<uint8_t*>(&d));
    return d;
  }
  void SetDword(const std::wstring& subkey, const std::wstring& name, DWORD value) {
    RegSetKeyValueW(key_, subkey.c_str(), name.c_str(), REG_DWORD, &value, sizeof value);
  }
  // A value's type and bytes as the "A" calls read it: text values in the system's code page
  // (code page 932 here), which is how the program's own bytes for them look.
  std::optional<std::pair<DWORD, std::string>> AnsiValue(const std::wstring& subkey, const std::wstring& name) const {
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key_, subkey.c_str(), 0, KEY_QUERY_VALUE, &sub) != ERROR_SUCCESS) return std::nullopt;
    const std::string narrowName = WideToCp932(name);
    DWORD type = 0, size = 0;
    std::optional<std::pair<DWORD, std::string>> result;
    if (RegQueryValueExA(sub, narrowName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::string data(size, '\0');
      if (RegQueryValueExA(sub, narrowName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
          ERROR_SUCCESS) {
        data.resize(size);
        result = std::make_pair(type, data);
      }
    }
    RegCloseKey(sub);
    return result;
  }
  // The names of the values under a key, in no particular order.
  std::vector<std::wstring> ValueNames(const std::wstring& subkey) const {
    std::vector<std::wstring> names;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key_, subkey.c_str(), 0, KEY_QUERY_VALUE, &sub) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD length = 256;
      if (RegEnumValueW(sub, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, length);
    }
    RegCloseKey(sub);
    return names;
  }

 private:
  std::wstring path_;
  HKEY key_ = nullptr;
};

// Winsock for the test's own sockets (the program starts it again for itself).
struct WinsockSession {
  WinsockSession() {
    WSADATA data;
    ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (ok) WSACleanup();
  }
  bool ok = false;
};

// The thread's messages, handled as the program's loop handles them (accelerators, key
// translation), until `done` holds; false after `seconds`. A quit message is kept in `quit`.
struct MessagePump {
  HWND window = nullptr;
  HACCEL accelerators = nullptr;
  std::optional<int> quit;

  void Once() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        quit = static_cast<int>(m.wParam);
        continue;
      }
      if (accelerators != nullptr && window != nullptr && IsWindow(window) &&
          TranslateAcceleratorW(window, accelerators, &m)) {
        continue;
      }
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  bool Until(const std::function<bool()>& done, int seconds = 30) {
    Once();
    return PumpUntil(done, [&] {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      Once();
      return true;
    }, std::chrono::seconds(seconds));
  }
  // Lets everything already posted be handled.
  void Settle(int milliseconds = 50) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
      Once();
      Sleep(2);
    }
  }
};

inline std::wstring WindowText(HWND w) {
  wchar_t text[512] = {};
  GetWindowTextW(w, text, 512);
  return text;
}

inline std::wstring ClassNameOf(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

// Answers the modal windows (message boxes, dialogs) that this thread opens, in the order they
// appear: each is handed to the next handler while the modal loop runs. A thread timer finds
// them, so the answers come from inside whatever loop is running.
class ModalAnswerer {
 public:
  using Handler = std::function<void(HWND)>;

  ModalAnswerer() {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 20, &ModalAnswerer::Tick);
  }
  ~ModalAnswerer() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  ModalAnswerer(const ModalAnswerer&) = delete;
  ModalAnswerer& operator=(const ModalAnswerer&) = delete;

  void Then(Handler handler) { handlers_.push_back(std::move(handler)); }
  // A message box answered with a button (IDOK, IDYES, IDNO); its caption and text are kept.
  void ThenPress(int button) {
    Then([this, button](HWND box) {
      captions.push_back(WindowText(box));
      texts.push_back(MessageText(box));
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    });
  }
  size_t answered() const { return next_; }
  bool allAnswered() const { return next_ == handlers_.size(); }

  // The message of a message box: its static text that is not the icon.
  static std::wstring MessageText(HWND box) {
    std::wstring found;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) -> BOOL {
          if (ClassNameOf(child) == L"Static" && GetWindowTextLengthW(child) > 0) {
            *reinterpret_cast<std::wstring*>(param) = WindowText(child);
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  }

  std::vector<std::wstring> captions;
  std::vector<std::wstring> texts;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalAnswerer* self = current_;
    if (self == nullptr || self->next_ >= self->handlers_.size() || self->busy_) return;
    HWND modal = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM param) -> BOOL {
          if (IsWindowVisible(w) && IsWindowEnabled(w) && ClassNameOf(w) == L"#32770") {
            *reinterpret_cast<HWND*>(param) = w;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&modal));
    if (modal == nullptr || modal == self->last_) return;
    self->last_ = modal;
    self->busy_ = true;
    self->handlers_[self->next_++](modal);
    self->busy_ = false;
  }

  static inline ModalAnswerer* current_ = nullptr;
  UINT_PTR timer_ = 0;
  std::vector<Handler> handlers_;
  size_t next_ = 0;
  HWND last_ = nullptr;
  bool busy_ = false;
};

// The client area as the window shows it, one COLORREF per pixel, row by row.
struct ClientImage {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;

  COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
  // The smallest rectangle of pixels in [x0, x1) x [y0, y1) that differ from `background`;
  // empty (right <= left) when there are none.
  RECT Ink(int x0, int y0, int x1, int y1, COLORREF background) const {
    RECT r{x1, y1, x0, y0};
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        if (at(x, y) != background) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
      }
    }
    return r;
  }
};

inline ClientImage CaptureClient(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  ClientImage image;
  image.width = client.right;
  image.height = client.bottom;
  HDC source = GetDC(window);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, image.width, image.height, source, 0, 0, SRCCOPY);
  GdiFlush();
  image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
  const auto* raw = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const uint32_t p = raw[i];  // 0x00RRGGBB
    image.pixels[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, source);
  return image;
}

}  // namespace velmora::testing
