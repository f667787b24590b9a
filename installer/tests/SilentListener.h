// A loopback TCP listener that never accepts and never says a word. The system completes the
// TCP handshakes, so a client's TLS handshake there waits until the client's own time-out: a
// host that takes connections and never answers.
#pragma once

#include <winsock2.h>

#include <string>

namespace gwplugin_test {

class SilentListener {
 public:
  SilentListener() {
    WSADATA data{};
    m_error = WSAStartup(MAKEWORD(2, 2), &data);
    if (m_error != 0) return;
    m_started = true;
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (m_socket == INVALID_SOCKET || bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_socket, SOMAXCONN) != 0 ||
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      m_error = WSAGetLastError();
      return;
    }
    m_port = ntohs(address.sin_port);
  }
  ~SilentListener() {
    Close();
    if (m_started) WSACleanup();
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  // Stops listening; connections that waited to be accepted are reset.
  void Close() {
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    m_socket = INVALID_SOCKET;
  }
  // 0 when the listener could not be set up (Error() says why).
  int Port() const { return m_port; }
  int Error() const { return m_error; }
  std::wstring Url(const std::wstring& path) const { return L"https://127.0.0.1:" + std::to_wstring(m_port) + path; }

 private:
  bool m_started = false;
  int m_error = 0;
  SOCKET m_socket = INVALID_SOCKET;
  int m_port = 0;
};

}  // namespace gwplugin_test
