#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "telnet/socket.h"

namespace velmora {

// The window message that carries the connection's socket events.
constexpr UINT kWmSocket = WM_USER + 1;

// The connection's socket on Windows: non-blocking through WSAAsyncSelect, which posts
// kWmSocket to the window for FD_READ, FD_WRITE, FD_CONNECT and FD_CLOSE (0x33). The window
// procedure hands each such message to OnSocketMessage, which reports it as a SocketEvent.
class Win32Socket : public Socket {
 public:
  // `portOverride` replaces the telnet service port (a port in the host text still wins); tests
  // use it to reach a peer of their own.
  explicit Win32Socket(std::optional<uint16_t> portOverride = std::nullopt) : portOverride_(portOverride) {}
  ~Win32Socket() override;

  // The window that receives the socket's messages; set before the first Connect.
  void SetWindow(HWND window) { window_ = window; }

  int Connect(const HostAddress& address) override;
  long Send(const uint8_t* data, size_t size) override;
  long Receive(uint8_t* data, size_t size) override;
  void ShutdownSend() override;
  void Close() override;
  bool IsOpen() const override { return socket_ != INVALID_SOCKET; }
  std::string ErrorText(int error) const override;
  void SetEventHandler(SocketEventHandler* handler) override { handler_ = handler; }

  // A kWmSocket message: reports the event in lParam to the handler. Messages for a socket
  // that is no longer the current one are ignored.
  void OnSocketMessage(WPARAM wParam, LPARAM lParam);

 protected:
  // One address of the host.
  struct Candidate {
    sockaddr_storage address;
    int length;
  };
  // Appends the host's addresses to `out`, IPv4 first, then IPv6; returns 0 when there is at
  // least one, otherwise the error code. Tests give a host addresses of their choosing
  // through it.
  virtual int Resolve(const std::string& host, std::vector<Candidate>& out) const;
  static int ResolveFamily(const std::string& host, int family, std::vector<Candidate>& out);

 private:
  // Starts a connect to the first of the addresses not yet tried that takes one, on a socket
  // registered for the window's messages; 0 when a connect is under way (or made), otherwise
  // the error of the last address tried.
  int ConnectNext();
  // FD_CONNECT: the next address is tried after a failure, while there is one.
  void OnConnectResult(int error);

  std::optional<uint16_t> portOverride_;
  std::vector<Candidate> candidates_;  // the host's addresses in order, with the port
  size_t nextCandidate_ = 0;
  HWND window_ = nullptr;
  SocketEventHandler* handler_ = nullptr;
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace velmora
