#pragma once

// What a step that can fail gives back: its value, or why not. Errors are values, carried up to
// the edge that shows them (the tool's lines, the C interface's texts, an HTTP answer) and
// rendered there.

#include <cassert>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace ssmsg {

// One mistake in a site: the file (as the user named it, and for a syntax error with its line and
// column: "site.json:3:27"), the path of the value within it ("Controllers[4].Inputs[2].Type";
// empty for the file itself) and what is wrong.
struct SiteError {
  std::string file;
  std::string path;
  std::string message;

  // "site.json: Controllers[4].Inputs[2].Type: ...", "site.json:3:27: syntax error ...".
  std::string Text() const {
    std::string text = file + ": ";
    if (!path.empty()) text.append(path).append(": ");
    return text + message;
  }
  bool operator==(const SiteError&) const = default;
};
using SiteErrors = std::vector<SiteError>;

// The lines of `errors`, as a tool prints them.
inline std::vector<std::string> ErrorLines(const SiteErrors& errors) {
  std::vector<std::string> lines;
  lines.reserve(errors.size());
  for (const SiteError& error : errors)
    lines.push_back(error.Text());
  return lines;
}

template <class E>
struct Failure {
  E error;
};
template <class E>
Failure(E) -> Failure<E>;

// A value of T, or an error of E.
template <class T, class E = SiteErrors>
class Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  template <class F>
  Result(Failure<F> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& operator*() {
    assert(has_value());
    return *std::get_if<0>(&state_);
  }
  const T& operator*() const {
    assert(has_value());
    return *std::get_if<0>(&state_);
  }
  T* operator->() { return &**this; }
  const T* operator->() const { return &**this; }

  E& error() {
    assert(!has_value());
    return *std::get_if<1>(&state_);
  }
  const E& error() const {
    assert(!has_value());
    return *std::get_if<1>(&state_);
  }

 private:
  std::variant<T, E> state_;
};

}  // namespace ssmsg
