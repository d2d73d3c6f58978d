#pragma once
// What the Win32 window's tests share: a registry root of their own, a telnet host played on
// loopback with plain Winsock, a message pump that never waits forever, and an answerer for the
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

// A telnet host played on loopback: it listens on one port of one or more loopback addresses
// (IPv4, or IPv6 such as "::1") and talks to one connection at a time. Blocking reads wait a
// bounded time, so it also works from a thread of its own.
class LoopbackHost {
 public:
  explicit LoopbackHost(const std::vector<std::string>& addresses = {"127.0.0.1"}) {
    for (const std::string& address : addresses) {
      const bool ipv6 = address.find(':') != std::string::npos;
      SOCKET s = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = inet_addr(address.c_str());
      a.sin_port = htons(port);
      sockaddr_in6 a6{};
      a6.sin6_family = AF_INET6;
      a6.sin6_port = htons(port);
      sockaddr* bound = ipv6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a);
      int length = ipv6 ? sizeof a6 : sizeof a;
      if (s == INVALID_SOCKET || (ipv6 && inet_pton(AF_INET6, address.c_str(), &a6.sin6_addr) != 1) ||
          bind(s, bound, length) != 0 || listen(s, 4) != 0) {
        // Where IPv6 is missing, the test sees no listener (ok()) and says why it stops.
        if (!ipv6) ADD_FAILURE() << "cannot listen on " << address << ":" << port;
        if (s != INVALID_SOCKET) closesocket(s);
        continue;
      }
      if (port == 0) {
        getsockname(s, bound, &length);
        port = ntohs(ipv6 ? a6.sin6_port : a.sin_port);
      }
      listeners_.push_back(s);
    }
  }
  // Whether it listens on any address.
  bool ok() const { return !listeners_.empty(); }
  ~LoopbackHost() {
    CloseConnection();
    CloseListeners();
  }
  LoopbackHost(const LoopbackHost&) = delete;
  LoopbackHost& operator=(const LoopbackHost&) = delete;

  // The next connection, on any of the addresses; false after `seconds` without one. With a
  // `pump`, the caller's thread keeps handling its messages while it waits.
  bool Accept(int seconds = 30, const std::function<void()>& pump = nullptr) {
    CloseConnection();
    received.clear();
    sawEnd = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      fd_set ready;
      FD_ZERO(&ready);
      for (SOCKET s : listeners_) FD_SET(s, &ready);
      timeval wait{0, 10000};
      if (select(0, &ready, nullptr, nullptr, &wait) > 0) {
        for (SOCKET s : listeners_) {
          if (FD_ISSET(s, &ready)) {
            connection_ = accept(s, nullptr, nullptr);
            return connection_ != INVALID_SOCKET;
          }
        }
      }
      if (pump) pump();
    }
    return false;
  }
  bool Send(const std::string& bytes) {
    return connection_ != INVALID_SOCKET &&
           send(connection_, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
  }
  // Takes what has arrived without waiting into `received`; notes the terminal's end of output.
  void ReadAvailable() {
    for (;;) {
      if (connection_ == INVALID_SOCKET) return;
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(connection_, &ready);
      timeval now{0, 0};
      if (select(0, &ready, nullptr, nullptr, &now) <= 0) return;
      char buffer[4096];
      const int n = recv(connection_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        sawEnd = true;
        return;
      }
      received.append(buffer, static_cast<size_t>(n));
    }
  }
  // Waits (at most `seconds`) until `count` bytes arrived, and takes them all.
  std::string Read(size_t count, int seconds = 30, const std::function<void()>& pump = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (received.size() < count && !sawEnd && std::chrono::steady_clock::now() < deadline) {
      ReadAvailable();
      if (pump) {
        pump();
      } else {
        Sleep(1);
      }
    }
    return Take();
  }
  std::string Take() {
    std::string out;
    out.swap(received);
    return out;
  }
  // The host logs the user out.
  void CloseConnection() {
    if (connection_ != INVALID_SOCKET) closesocket(connection_);
    connection_ = INVALID_SOCKET;
  }
  void CloseListeners() {
    for (SOCKET s : listeners_) closesocket(s);
    listeners_.clear();
  }

  uint16_t port = 0;
  std::string received;
  bool sawEnd = false;

 private:
  std::vector<SOCKET> listeners_;
  SOCKET connection_ = INVALID_SOCKET;
};

// A loopback port nobody listens on: connecting there is refused.
inline uint16_t RefusingPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int length = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
  closesocket(s);
  return ntohs(a.sin_port);
}

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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      Once();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
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
