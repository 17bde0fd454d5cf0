#pragma once

// A small HTTP client over a raw socket for the server's tests: bytes sent exactly as given (so
// that malformed and slow requests can be sent too), and answers read within a time limit.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ssmsg::test {

// A client socket connected to the loopback address, closed with its object.
class Client {
 public:
  using Clock = std::chrono::steady_clock;

  // Connects to `port` of 127.0.0.1, from the loopback address 127.0.0.`from` (every address
  // of 127.0.0.0/8 is this machine's): a client of an address of its own.
  explicit Client(std::uint16_t port, unsigned char from = 1)
      : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit{10, 0};  // a server that stops reading does not hang the test
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (from != 1) {
      sockaddr_in source{};
      source.sin_family = AF_INET;
      source.sin_addr.s_addr = htonl((INADDR_LOOPBACK & 0xFFFFFF00U) | from);
      bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source);
    }
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return connected_;
  }

  // Sends nothing more: the server sees the request end where it is.
  void EndSending() { shutdown(fd_, SHUT_WR); }

  // What arrives within `wait`, up to the end of one response (by its Content-Length) or of the
  // connection; `closed` says whether the server closed it.
  std::string Read(std::chrono::milliseconds wait, bool* closed = nullptr) {
    std::string text;
    const Clock::time_point until = Clock::now() + wait;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
      pollfd ready{fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[65536];
      const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) {
        if (closed) *closed = true;
        break;
      }
      text.append(buffer, static_cast<std::size_t>(got));
      const std::size_t head = text.find("\r\n\r\n");
      const std::size_t length = text.find("Content-Length: ");
      if (head != std::string::npos && length != std::string::npos && length < head &&
          text.size() >= head + 4 + std::stoul(text.substr(length + 16))) {
        break;
      }
    }
    return text;
  }

 private:
  int fd_;
  bool connected_ = false;
};

// The status of a response's text, 0 when it is none.
inline int StatusOf(const std::string& response) {
  return response.size() > 12 && response.rfind("HTTP/1.", 0) == 0
             ? std::stoi(response.substr(9, 3))
             : 0;
}

// A response taken apart.
struct Answer {
  int status = 0;
  std::string head;  // the status line and headers
  std::string body;

  // The value of header `name` as the server spells it, or "".
  std::string Header(std::string_view name) const {
    const std::string key = "\r\n" + std::string(name) + ": ";
    const std::size_t at = head.find(key);
    if (at == std::string::npos) return "";
    const std::size_t start = at + key.size();
    return head.substr(start, head.find("\r\n", start) - start);
  }
};

// One request on a connection of its own: `headers` are "Name: value" lines without their line
// ends; Host and, for a body, Content-Length are added.
inline Answer Request(std::uint16_t port, const std::string& method, const std::string& target,
                      const std::vector<std::string>& headers = {}, const std::string& body = {},
                      std::chrono::milliseconds wait = std::chrono::seconds(10)) {
  std::string request = method + " " + target +
                        " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                        "\r\nConnection: close\r\n";
  for (const std::string& header : headers)
    request += header + "\r\n";
  if (!body.empty() || method == "PUT" || method == "PATCH" || method == "POST")
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  request += "\r\n" + body;
  Client client(port);
  Answer answer;
  if (!client.Send(request)) return answer;
  const std::string text = client.Read(wait);
  answer.status = StatusOf(text);
  const std::size_t end = text.find("\r\n\r\n");
  answer.head = text.substr(0, end);
  if (end != std::string::npos) answer.body = text.substr(end + 4);
  return answer;
}

}  // namespace ssmsg::test
