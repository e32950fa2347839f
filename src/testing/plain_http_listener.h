// A plain-http server of the test's own on 127.0.0.1, at a port the system picks:
// it records every connection that reaches it, and answers each request with the
// reply set for its path (404 otherwise), then closes. The test server speaks only
// https; this is where plain http is seen, or proved never to be reached.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ostrane::testing {

class PlainHttpListener {
 public:
  PlainHttpListener() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (socket_ == INVALID_SOCKET || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket_, SOMAXCONN) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      Close();
      throw std::runtime_error("cannot listen on 127.0.0.1: " + std::to_string(::WSAGetLastError()));
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~PlainHttpListener() {
    stop_ = true;
    thread_.join();
    Close();
  }
  PlainHttpListener(const PlainHttpListener&) = delete;
  PlainHttpListener& operator=(const PlainHttpListener&) = delete;

  // "http://127.0.0.1:<port><path>".
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::wstring WideUrl(const std::string& path) const {
    const std::string url = Url(path);
    return std::wstring(url.begin(), url.end());
  }

  // The whole reply (status line, headers, body) that a request for path gets.
  void Answer(const std::string& path, std::string reply) {
    std::lock_guard lock(mutex_);
    replies_[path] = std::move(reply);
  }
  static std::string Redirect(const std::string& location) {
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  }
  static std::string Body(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }

  // Connections accepted so far, with or without a request.
  int Connections() const { return connections_; }
  // The request target of each request, in order.
  std::vector<std::string> Paths() const {
    std::lock_guard lock(mutex_);
    return paths_;
  }

 private:
  void Close() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    socket_ = INVALID_SOCKET;
    ::WSACleanup();
  }

  void Serve() {
    while (!stop_) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(socket_, &ready);
      timeval wait{0, 50'000};
      if (::select(0, &ready, nullptr, nullptr, &wait) != 1) continue;
      const SOCKET client = ::accept(socket_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      ++connections_;
      Reply(client);
      ::shutdown(client, SD_SEND);
      ::closesocket(client);
    }
  }

  void Reply(SOCKET client) {
    const DWORD timeout = 5000;
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int got = ::recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) return;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    // "GET /path HTTP/1.1"
    const std::size_t start = request.find(' ') + 1;
    const std::string target = request.substr(start, request.find(' ', start) - start);
    std::string reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    {
      std::lock_guard lock(mutex_);
      paths_.push_back(target);
      const auto found = replies_.find(target.substr(0, target.find('?')));
      if (found != replies_.end()) reply = found->second;
    }
    ::send(client, reply.data(), static_cast<int>(reply.size()), 0);
  }

  SOCKET socket_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::map<std::string, std::string> replies_;
  std::vector<std::string> paths_;
  std::thread thread_;
};

}  // namespace ostrane::testing
