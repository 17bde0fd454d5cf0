#pragma once

// The HTTP layer: libmicrohttpd reads requests from the sockets into Requests, hands each to the
// service, and writes its Response back. What is kept from slow or greedy clients:
// - a request's line and headers over Limits::maxHeaders get 431 (from the service; past
//   kConnectionMemory, from libmicrohttpd itself), a body over Limits::maxBody gets 413 as soon as
//   it is known (from Content-Length, or once that many bytes came);
// - a body is read only once its head has been let in (route, caller, role, origin): the rest get
//   their 401, 403, 404 or 405 before it; the bodies being read share bodyMemory bytes;
// - a connection that sends nothing for idleTimeout seconds is closed, and so is one whose request
//   has not fully arrived requestTimeout seconds after it could start (a byte a second does not
//   keep a connection);
// - at most maxConnections connections at once (more wait, unanswered, in the listening socket's
//   queue until one closes), each with kConnectionMemory bytes for its request's head; at most
//   maxConnectionsPerAddress of them from one client address (more are closed at once); once
//   three quarters of maxConnections are open, a connection whose request's head has not arrived
//   within kBusyIdle is closed, so that idle connections do not keep others waiting.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "server/Handler.h"

namespace ssmsg::server {

struct DaemonOptions {
  std::string address = "127.0.0.1";  // a numeric IPv4 or IPv6 address
  std::uint16_t port = 8080;          // 0: any free port (Daemon::Port says which)
  std::string tlsCertificate;         // PEM text of both, or neither: plain HTTP
  std::string tlsKey;
  unsigned threads = 4;
  unsigned maxConnections = 256;
  unsigned maxConnectionsPerAddress = 32;  // more from one client address are closed at once
  unsigned idleTimeout = 15;               // seconds
  // The bytes that the bodies of all requests being read may hold together; a body that does not
  // fit gets 503.
  std::size_t bodyMemory = std::size_t{64} << 20;
  std::chrono::milliseconds requestTimeout{30'000};
  // Receives one line per request (the log); none: nothing is logged.
  std::function<void(std::string_view line)> log;
};

// How long a connection may wait for its request to begin while the server is near its cap.
inline constexpr std::chrono::milliseconds kBusyIdle{2'000};

// The bytes each connection may use for the head of its request.
inline constexpr std::size_t kConnectionMemory = std::size_t{64} << 10;

// Whether `address` is a loopback address (127.0.0.0/8 or ::1): the only ones served without TLS.
bool IsLoopbackAddress(std::string_view address);

// Why the PEM texts `certificate` (a chain) and `key` cannot serve TLS together (unreadable, or a
// key that is not the certificate's), or nothing.
std::optional<std::string> TlsProblem(const std::string& certificate, const std::string& key);

// Where to listen, from "ADDRESS:PORT" ("127.0.0.1:8080", "[::1]:8080", "0.0.0.0:0"), or why
// `text` is not that.
struct Listen {
  std::string address;
  std::uint16_t port = 0;
  std::string error;
};
Listen ParseListen(std::string_view text);

class Daemon {
 public:
  // Starts serving `service` (which must outlive the daemon); nothing, with `error` set, when it
  // cannot (the address is taken, the certificate is bad, ...).
  static std::unique_ptr<Daemon> Start(RequestHandler& service, DaemonOptions options,
                                       std::string& error);
  ~Daemon();
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  std::uint16_t Port() const;
  // Stops taking connections, lets the requests being answered finish (for at most `grace`), then
  // closes every connection.
  void Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

  struct State;

 private:
  explicit Daemon(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace ssmsg::server
