#pragma once

// What the socket layer (Daemon) asks of whoever answers its requests: one site's service, or the
// directory of the services of many sites.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "server/Http.h"

namespace ssmsg::server {

// What the head of a request decides before its body is read: the answer it gets whatever its
// body, or how many bytes of body its route takes.
struct HeadCheck {
  std::optional<Response> refusal;
  std::size_t maxBody = 0;
};

class RequestHandler {
 public:
  virtual ~RequestHandler() = default;

  virtual const Limits& Limit() const = 0;
  virtual HeadCheck CheckHead(const Request& head) = 0;
  // Answers `request`; never throws.
  virtual Response Handle(const Request& request) = 0;
  // The answer to `request` once its wait (`deferred`) is over: `last` when it may not wait
  // again.
  virtual Response Resume(const Request& request, const Deferred& deferred, bool last) = 0;
  // The answer to a request refused before it is read whole.
  virtual Response Refusal(int status, std::string_view message, const Request& request) = 0;
  // Calls `wake` whenever a change may end a wait (Deferred, EventStream), from any thread and
  // quickly, until the handle returned goes.
  virtual std::shared_ptr<void> WakeOnChanges(std::function<void()> wake) = 0;
};

}  // namespace ssmsg::server
