#include "server/Daemon.h"

#include <gnutls/gnutls.h>
#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "server/ChangeFeed.h"
#include "server/Service.h"

namespace ssmsg::server {

namespace {

// GnuTLS's priorities for the server's TLS.
constexpr const char* kTlsPriorities =
    "SECURE:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-RSA:%SERVER_PRECEDENCE";

using Clock = std::chrono::steady_clock;

// A connection, from libmicrohttpd's notice that it started to the one that it closed.
struct Connection {
  int fd = -1;
  Clock::time_point since;  // when its current request could start
  bool waiting = true;      // the request's head or body is still arriving
  bool begun = false;       // its current request's head has arrived
  bool shut = false;
};

// One request, from its first call of the handler to its completion.
struct Exchange {
  Request request;
  Clock::time_point started;
  std::size_t maxBody = 0;   // what its route takes
  std::size_t reserved = 0;  // of the daemon's memory for bodies
  bool tooLarge = false;
  bool overBudget = false;  // its body did not fit in the memory for bodies
  bool answered = false;
  int status = 0;
  std::size_t bytes = 0;
  std::string user;                    // whom it was answered for
  std::shared_ptr<Deferred> deferred;  // what its answer waits for, while it waits
};

// The path and query exactly as sent: libmicrohttpd is told not to decode them.
std::size_t KeepEscapes(void*, MHD_Connection*, char* text) {
  return std::strlen(text);
}

}  // namespace

struct Daemon::State {
  RequestHandler& service;
  DaemonOptions options;
  MHD_Daemon* daemon = nullptr;
  std::uint16_t port = 0;
  std::mutex mutex;
  std::set<Connection*> connections;
  std::atomic<int> inFlight{0};
  std::size_t buffered = 0;  // bytes of bodies reserved, at most options.bodyMemory
  std::condition_variable wake;
  bool stopping = false;
  std::thread watcher;
  // The connections held, with no thread, while their answer waits for a change: until the
  // change feed passes `after` or `until` comes. libmicrohttpd times none of them out meanwhile.
  struct Parked {
    MHD_Connection* connection = nullptr;
    const ChangeFeed* feed = nullptr;
    std::int64_t after = 0;
    Clock::time_point until;
  };
  std::mutex parkMutex;  // taken before libmicrohttpd's own locks, never inside a callback's
  std::vector<Parked> parked;
  bool ending = false;  // under parkMutex: answer those waiting now, end the event streams
  std::shared_ptr<void> changes;  // the service's wake-ups, while it serves

  State(RequestHandler& s, DaemonOptions o) : service(s), options(std::move(o)) {}

  // Closes the sockets of connections whose request is overdue (libmicrohttpd then sees them
  // end), and lets go of the parked ones whose wait is over. Runs until the daemon stops.
  void Watch() {
    std::unique_lock lock(mutex);
    while (!stopping) {
      wake.wait_for(lock, std::chrono::milliseconds(100));
      lock.unlock();
      Unpark();
      lock.lock();
      const Clock::time_point now = Clock::now();
      const bool busy = connections.size() * 4 >= std::size_t{options.maxConnections} * 3;
      for (Connection* connection : connections) {
        const auto waited = now - connection->since;
        if (connection->waiting && !connection->shut &&
            (waited > options.requestTimeout ||
             (busy && !connection->begun && waited > kBusyIdle))) {
          shutdown(connection->fd, SHUT_RDWR);
          connection->shut = true;
        }
      }
    }
  }

  // Holds `connection` until the feed passes `after` or `until` comes; false, with nothing
  // held, once the daemon is stopping. Called only from libmicrohttpd's callbacks for it.
  bool Park(MHD_Connection* connection, const ChangeFeed* feed, std::int64_t after,
            Clock::time_point until) {
    const std::lock_guard lock(parkMutex);
    if (ending) return false;
    parked.push_back({connection, feed, after, until});
    MHD_suspend_connection(connection);
    return true;
  }

  // Lets go of the parked connections whose wait is over (all of them once ending): libmicrohttpd
  // then calls their handler or reader again.
  void Unpark() {
    const std::lock_guard lock(parkMutex);
    if (parked.empty()) return;
    const Clock::time_point now = Clock::now();
    std::erase_if(parked, [&](const Parked& held) {
      const std::int64_t latest = held.feed != nullptr ? held.feed->Latest() : held.after;
      if (!ending && latest <= held.after && now < held.until) return false;
      MHD_resume_connection(held.connection);
      return true;
    });
  }

  static void Notify(void* self, MHD_Connection* connection, void** context,
                     MHD_ConnectionNotificationCode code) {
    State& state = *static_cast<State*>(self);
    const std::lock_guard lock(state.mutex);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      auto* tracked = new Connection;
      const MHD_ConnectionInfo* info =
          MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
      tracked->fd = info ? info->connect_fd : -1;
      tracked->since = Clock::now();
      state.connections.insert(tracked);
      *context = tracked;
    } else if (*context) {
      // libmicrohttpd closes the socket after this notice, so the watcher, which takes the same
      // lock, never shuts a socket number that another connection got since.
      auto* tracked = static_cast<Connection*>(*context);
      state.connections.erase(tracked);
      delete tracked;
      *context = nullptr;
    }
  }

  static Connection* Tracked(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<Connection*>(info->socket_context) : nullptr;
  }

  // Sends `response`, or holds the connection while it waits, or streams its body.
  MHD_Result Answer(MHD_Connection* connection, Exchange& exchange, Response response) {
    while (response.deferred) {
      std::shared_ptr<Deferred> deferred = std::move(response.deferred);
      if (Park(connection, deferred->feed, deferred->after, deferred->until)) {
        exchange.deferred = std::move(deferred);
        return MHD_YES;
      }
      response = service.Resume(exchange.request, *deferred, true);
    }
    if (response.stream) return Stream(connection, exchange, std::move(response));
    return Queue(connection, exchange, std::move(response));
  }

  // A streamed body on its way: what `stream` gave that is not sent yet, and when a keep-alive
  // is due.
  struct Streaming {
    State& state;
    MHD_Connection* connection;
    std::shared_ptr<EventStream> stream;
    std::string text;
    std::size_t sent = 0;
    Clock::time_point keepAlive;
  };

  MHD_Result Stream(MHD_Connection* connection, Exchange& exchange, Response response) {
    auto streaming = std::make_unique<Streaming>(Streaming{
        *this, connection, response.stream, {}, 0, Clock::now() + response.stream->keepAlive});
    MHD_Response* out = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 16 << 10, &State::ReadStream, streaming.get(),
        [](void* streamed) { delete static_cast<Streaming*>(streamed); });
    if (!out) return MHD_NO;
    static_cast<void>(streaming.release());
    return Send(connection, exchange, out, response, 0);
  }

  static ssize_t ReadStream(void* self, std::uint64_t, char* buffer, std::size_t max) {
    Streaming& streaming = *static_cast<Streaming*>(self);
    State& state = streaming.state;
    if (streaming.sent == streaming.text.size()) {
      streaming.text.clear();
      streaming.sent = 0;
      {
        const std::lock_guard lock(state.parkMutex);
        if (state.ending) return MHD_CONTENT_READER_END_OF_STREAM;
      }
      const Clock::time_point now = Clock::now();
      std::optional<std::string> more;
      try {
        more = streaming.stream->next(now >= streaming.keepAlive);
      } catch (const std::exception&) {
        // The store failed: the client comes back and resumes from its last event.
      }
      if (!more) return MHD_CONTENT_READER_END_OF_STREAM;
      if (more->empty()) {
        if (!state.Park(streaming.connection, streaming.stream->feed, streaming.stream->after(),
                        streaming.keepAlive))
          return MHD_CONTENT_READER_END_OF_STREAM;
        return 0;
      }
      streaming.text = std::move(*more);
      streaming.keepAlive = now + streaming.stream->keepAlive;
    }
    const std::size_t bytes = std::min(max, streaming.text.size() - streaming.sent);
    std::memcpy(buffer, streaming.text.data() + streaming.sent, bytes);
    streaming.sent += bytes;
    return static_cast<ssize_t>(bytes);
  }

  MHD_Result Queue(MHD_Connection* connection, Exchange& exchange, Response response) {
    // libmicrohttpd sends the body from where it is and frees it once sent: it owns it once the
    // response is made.
    auto body = std::make_unique<std::string>(std::move(response.body));
    const std::size_t bytes = body->size();
    MHD_Response* out = MHD_create_response_from_buffer_with_free_callback_cls(
        bytes, body->data(), [](void* text) { delete static_cast<std::string*>(text); },
        body.get());
    if (!out) return MHD_NO;
    static_cast<void>(body.release());
    return Send(connection, exchange, out, response, bytes);
  }

  // Queues `out`, the body of `response` (`bytes` long, as far as known), with its status and
  // headers.
  static MHD_Result Send(MHD_Connection* connection, Exchange& exchange, MHD_Response* out,
                         const Response& response, std::size_t bytes) {
    for (const Header& header : response.headers)
      MHD_add_response_header(out, header.name.c_str(), header.value.c_str());
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), out);
    MHD_destroy_response(out);
    exchange.answered = true;
    exchange.status = response.status;
    exchange.bytes = bytes;
    exchange.user = response.user;
    return queued;
  }

  static MHD_Result Access(void* self, MHD_Connection* connection, const char* url,
                           const char* method, const char*, const char* upload,
                           std::size_t* uploadSize, void** context) {
    State& state = *static_cast<State*>(self);
    auto* exchange = static_cast<Exchange*>(*context);
    if (!exchange) {
      exchange = new Exchange;
      *context = exchange;
      exchange->started = Clock::now();
      if (Connection* tracked = Tracked(connection)) {
        const std::lock_guard lock(state.mutex);
        tracked->begun = true;
      }
      state.Begin(connection, url, method, *exchange);
      exchange->maxBody = state.service.Limit().maxBody;
      // A body framed more than one way (by its length and by chunks, or by two lengths) is
      // read one way here and perhaps another way by a proxy in front, which would then see a
      // second request smuggled in the first: refused, and the connection closed. (A length
      // that is no number libmicrohttpd refuses itself, and closes the connection too.)
      const std::string* length = exchange->request.Find("Content-Length");
      const bool chunked = exchange->request.Find("Transfer-Encoding") != nullptr;
      if (exchange->request.Count("Content-Length") + exchange->request.Count("Transfer-Encoding") >
          1) {
        return state.Queue(
            connection, *exchange,
            state.Closing(state.service.Refusal(400, "the body's length is given more than one way",
                                                exchange->request)));
      }
      if ((length && *length != "0") || chunked) {
        // Whoever may not send this body gets the answer before a byte of it is read, and the
        // rest only what their route takes.
        HeadCheck check = state.service.CheckHead(exchange->request);
        if (check.refusal) {
          return state.Queue(connection, *exchange, state.Closing(std::move(*check.refusal)));
        }
        exchange->maxBody = check.maxBody;
      }
      if (length) {
        const std::optional<std::int64_t> announced =
            ParseDecimal(*length, 0, static_cast<std::int64_t>(exchange->maxBody));
        if (!announced) {
          exchange->tooLarge = true;
          return state.Queue(connection, *exchange, state.TooLarge(*exchange));
        }
        if (!state.Reserve(*exchange, static_cast<std::size_t>(*announced))) {
          return state.Queue(connection, *exchange, state.Busy(*exchange));
        }
      }
      return MHD_YES;
    }
    if (*uploadSize > 0) {
      // A body that grows past the limit is read to its end and dropped (libmicrohttpd takes no
      // answer in the middle of one); the deadline bounds how long that may take.
      const std::size_t room = exchange->maxBody - exchange->request.body.size();
      if (exchange->tooLarge || *uploadSize > room) {
        exchange->tooLarge = true;
        std::string().swap(exchange->request.body);
      } else if (exchange->overBudget ||
                 !state.Reserve(*exchange, exchange->request.body.size() + *uploadSize)) {
        exchange->overBudget = true;
        std::string().swap(exchange->request.body);
      } else {
        exchange->request.body.append(upload, *uploadSize);
      }
      *uploadSize = 0;
      return MHD_YES;
    }
    if (exchange->answered) return MHD_YES;
    if (exchange->tooLarge) return state.Queue(connection, *exchange, state.TooLarge(*exchange));
    if (exchange->overBudget) return state.Queue(connection, *exchange, state.Busy(*exchange));
    if (exchange->deferred) {
      // Its wait is over.
      const std::shared_ptr<Deferred> deferred = std::move(exchange->deferred);
      bool last = false;
      {
        const std::lock_guard lock(state.parkMutex);
        last = state.ending;
      }
      return state.Answer(connection, *exchange,
                          state.service.Resume(exchange->request, *deferred,
                                               last || Clock::now() >= deferred->until));
    }
    // The whole request is here.
    if (Connection* tracked = Tracked(connection)) {
      const std::lock_guard lock(state.mutex);
      tracked->waiting = false;
    }
    ++state.inFlight;
    return state.Answer(connection, *exchange, state.service.Handle(exchange->request));
  }

  Response TooLarge(const Exchange& exchange) {
    return service.Refusal(413, BodyTooLarge(exchange.maxBody), exchange.request);
  }

  Response Busy(const Exchange& exchange) {
    Response response =
        service.Refusal(503, "the server is receiving too many request bodies at once: try again",
                        exchange.request);
    response.Set("Retry-After", "1");
    return Closing(std::move(response));
  }

  // `response`, after which the connection is closed: for answers given before a body that may
  // still come.
  static Response Closing(Response response) {
    response.Set("Connection", "close");
    return response;
  }

  // Holds `exchange`'s reservation of the memory for bodies to at least `bytes`, or says that
  // the memory is spoken for.
  bool Reserve(Exchange& exchange, std::size_t bytes) {
    if (bytes <= exchange.reserved) return true;
    const std::lock_guard lock(mutex);
    const std::size_t more = bytes - exchange.reserved;
    if (more > options.bodyMemory - buffered) return false;
    buffered += more;
    exchange.reserved = bytes;
    return true;
  }

  void Begin(MHD_Connection* connection, const char* url, const char* method, Exchange& exchange) {
    Request& request = exchange.request;
    request.method = method;
    request.target = url;
    MHD_get_connection_values(
        connection, MHD_GET_ARGUMENT_KIND,
        [](void* target, MHD_ValueKind, const char* key, const char* value) {
          std::string& text = *static_cast<std::string*>(target);
          text += text.find('?') == std::string::npos ? '?' : '&';
          text += key;
          if (value) {
            text += '=';
            text += value;
          }
          return MHD_YES;
        },
        &request.target);
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* headers, MHD_ValueKind, const char* key, const char* value) {
          static_cast<std::vector<Header>*>(headers)->push_back({key, value ? value : ""});
          return MHD_YES;
        },
        &request.headers);
    if (const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
      char text[INET6_ADDRSTRLEN] = "";
      const sockaddr* address = info->client_addr;
      if (address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
      } else if (address->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
      }
      request.peer = text;
    }
    request.tls = !options.tlsCertificate.empty();
  }

  static void Completed(void* self, MHD_Connection* connection, void** context,
                        MHD_RequestTerminationCode code) {
    State& state = *static_cast<State*>(self);
    auto* exchange = static_cast<Exchange*>(*context);
    if (!exchange) return;
    *context = nullptr;
    {
      const std::lock_guard lock(state.mutex);
      state.buffered -= exchange->reserved;
    }
    if (Connection* tracked = Tracked(connection)) {
      const std::lock_guard lock(state.mutex);
      if (!tracked->waiting) --state.inFlight;
      tracked->waiting = true;
      tracked->begun = false;
      tracked->since = Clock::now();
    }
    // "127.0.0.1 ada \"GET /api/site\" 200 1234 3ms" (the user "-" when there is none), the user,
    // method and target with their odd bytes escaped.
    if (state.options.log) {
      const Request& request = exchange->request;
      std::string line = request.peer + " ";
      if (exchange->user.empty()) {
        line += '-';
      } else {
        AppendLogText(line, exchange->user);
      }
      line += " \"";
      AppendLogText(line, request.method);
      line += ' ';
      AppendLogText(line, request.target);
      line += "\" ";
      line += exchange->answered ? std::to_string(exchange->status) : "-";
      line += ' ' + std::to_string(exchange->bytes) + ' ';
      line += std::to_string(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - exchange->started)
              .count());
      line += "ms";
      if (code != MHD_REQUEST_TERMINATED_COMPLETED_OK) line += " (not completed)";
      state.options.log(line);
    }
    delete exchange;
  }
};

bool IsLoopbackAddress(std::string_view address) {
  const std::string text(address);
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, text.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::optional<std::string> TlsProblem(const std::string& certificate, const std::string& key) {
  gnutls_certificate_credentials_t credentials = nullptr;
  if (gnutls_certificate_allocate_credentials(&credentials) < 0) return "TLS cannot start";
  const auto datum = [](const std::string& text) {
    return gnutls_datum_t{reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                          static_cast<unsigned>(text.size())};
  };
  const gnutls_datum_t chain = datum(certificate);
  const gnutls_datum_t secret = datum(key);
  const int code =
      gnutls_certificate_set_x509_key_mem(credentials, &chain, &secret, GNUTLS_X509_FMT_PEM);
  gnutls_certificate_free_credentials(credentials);
  if (code >= 0) return std::nullopt;
  return std::string(gnutls_strerror(code));
}

Listen ParseListen(std::string_view text) {
  Listen listen;
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) {
    listen.error = "give ADDRESS:PORT, e.g. 127.0.0.1:8080 or [::1]:8080";
    return listen;
  }
  std::string_view address = text.substr(0, colon);
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
  } else if (address.find(':') != std::string_view::npos) {
    listen.error = "an IPv6 address goes in brackets: [" + std::string(address) + "]:PORT";
    return listen;
  }
  const std::string numeric(address);
  in_addr v4{};
  in6_addr v6{};
  if (inet_pton(AF_INET, numeric.c_str(), &v4) != 1 &&
      inet_pton(AF_INET6, numeric.c_str(), &v6) != 1) {
    listen.error = "\"" + numeric + "\" is not a numeric IPv4 or IPv6 address";
    return listen;
  }
  const std::optional<std::int64_t> port = ParseDecimal(text.substr(colon + 1), 0, 65535);
  if (!port) {
    listen.error = "the port must be a number from 0 to 65535";
    return listen;
  }
  listen.address = numeric;
  listen.port = static_cast<std::uint16_t>(*port);
  return listen;
}

Daemon::Daemon(std::unique_ptr<State> state) : state_(std::move(state)) {}

Daemon::~Daemon() {
  Stop(std::chrono::milliseconds(0));
}

std::unique_ptr<Daemon> Daemon::Start(RequestHandler& service, DaemonOptions options,
                                      std::string& error) {
  auto state = std::make_unique<State>(service, std::move(options));
  const DaemonOptions& o = state->options;
  sockaddr_storage address{};
  unsigned flags =
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_USE_ITC | MHD_ALLOW_SUSPEND_RESUME;
  {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(o.port);
    if (getaddrinfo(o.address.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
      error = "cannot listen on " + o.address + ": not a numeric IPv4 or IPv6 address";
      return nullptr;
    }
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    if (found->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
    freeaddrinfo(found);
  }
  const bool tls = !o.tlsCertificate.empty() || !o.tlsKey.empty();
  if (tls) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
      error = "this libmicrohttpd has no TLS";
      return nullptr;
    }
    flags |= MHD_USE_TLS;
  }
  std::vector<MHD_OptionItem> items = {
      {MHD_OPTION_SOCK_ADDR, 0, &address},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(o.maxConnections), nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(o.maxConnectionsPerAddress),
       nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(o.idleTimeout), nullptr},
      {MHD_OPTION_THREAD_POOL_SIZE, static_cast<intptr_t>(o.threads), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&State::Completed), state.get()},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&State::Notify), state.get()},
      {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&KeepEscapes), nullptr},
  };
  if (tls) {
    items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(o.tlsKey.c_str())});
    items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(o.tlsCertificate.c_str())});
    // TLS 1.2 and 1.3 only, with forward secrecy only (no key exchange by static RSA).
    items.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
  }
  items.push_back({MHD_OPTION_END, 0, nullptr});
  state->daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &State::Access, state.get(),
                                   MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
  if (!state->daemon) {
    error = "cannot serve on " + o.address + " port " + std::to_string(o.port) +
            (tls ? " (is the address free, and are the certificate and key PEM files that belong "
                   "together?)"
                 : " (is the address free?)");
    return nullptr;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(state->daemon, MHD_DAEMON_INFO_BIND_PORT);
  state->port = info ? info->port : 0;
  state->changes = service.WakeOnChanges([raw = state.get()] { raw->wake.notify_all(); });
  state->watcher = std::thread([raw = state.get()] { raw->Watch(); });
  return std::unique_ptr<Daemon>(new Daemon(std::move(state)));
}

std::uint16_t Daemon::Port() const {
  return state_->port;
}

void Daemon::Stop(std::chrono::milliseconds grace) {
  if (!state_ || !state_->daemon) return;
  MHD_quiesce_daemon(state_->daemon);
  {
    const std::lock_guard lock(state_->parkMutex);
    state_->ending = true;
  }
  // Those waiting for a change get their answer now, and the event streams end; libmicrohttpd
  // may not stop with a connection held.
  state_->Unpark();
  const Clock::time_point until = Clock::now() + grace;
  while (state_->inFlight.load() > 0 && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  MHD_stop_daemon(state_->daemon);
  state_->daemon = nullptr;
  {
    const std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  state_->watcher.join();
  state_->changes = {};
}

}  // namespace ssmsg::server
