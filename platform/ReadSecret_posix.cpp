#include "platform/ReadSecret.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace ssmsg {
namespace {

// Turns the terminal's echo off for as long as it lives.
class NoEcho {
 public:
  NoEcho() : terminal_(isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!terminal_) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  ~NoEcho() {
    if (terminal_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;
  bool Terminal() const { return terminal_; }

 private:
  termios saved_{};
  bool terminal_;
};

}  // namespace

bool InputIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> ReadSecret(std::string_view prompt, std::size_t limit) {
  const NoEcho noEcho;
  if (noEcho.Terminal()) {
    std::fwrite(prompt.data(), 1, prompt.size(), stderr);
    std::fflush(stderr);
  }
  // Byte by byte, so that nothing after the line is taken from the input.
  std::string line;
  for (;;) {
    char c = 0;
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) {
      if (line.empty()) return std::nullopt;
      break;
    }
    if (c == '\n') break;
    if (line.size() == limit) return std::nullopt;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace ssmsg
