// The single error type of the parser (kind, fixed message and cause), the result type
// every fallible step returns, and the TRY macro that makes error propagation one line.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace folioscan {

// The numbering is part of the interface: kinds are listed in this order everywhere.
enum class ParseErrorKind : std::uint8_t {
  InvalidHeader,    // no "%PDF-" marker where one must be
  InvalidXref,      // cross-reference data or startxref unreadable
  InvalidObject,    // an object header, object stream or tree node is wrong
  UnexpectedToken,  // object syntax: a byte or token that cannot start or continue an object
  UnexpectedEof,    // object syntax: the buffer ended inside an object
  BadStream,        // a stream decoder met data it cannot decode
  MissingTrailer,   // the trailer lacks /Root
  ObjectNotFound,   // an object number with no (or a free) cross-reference entry
  Unsupported,      // a feature this parser does not implement (unknown filter)
  InvalidPassword,  // recovery only: the password matches neither the user nor the owner entry
};

std::string_view kind_name(ParseErrorKind kind);

// Why an error was raised, for the decisions that depend on it: recovery decides on the
// cause, never on the message, so a message can be reworded without turning a repair
// off. Set where the error is raised; never shown. Errors no decision reads are Other.
enum class ParseErrorCause : std::uint8_t {
  Other,                 // no decision depends on it
  NoObjectHeader,        // no "N G obj" where an object's entry points: the table may be wrong
  ObjectNumberMismatch,  // the header there belongs to another object: likewise
  CircularReference,     // the object is being loaded already: depends on the loads under way
  LoadsNestedTooDeeply,  // loads nested past limits::kMaxLoadNesting: likewise
};

struct ParseError {
  std::string message;
  ParseErrorKind kind;
  ParseErrorCause cause = ParseErrorCause::Other;

  // "Kind: message", the only text form of an error that leaves the parser.
  std::string display() const;
};

template <class T>
using Result = std::expected<T, ParseError>;

[[nodiscard]] inline std::unexpected<ParseError> fail(ParseErrorKind kind, std::string message) {
  return std::unexpected(ParseError{std::move(message), kind});
}

[[nodiscard]] inline std::unexpected<ParseError> fail(ParseErrorKind kind, ParseErrorCause cause,
                                                      std::string message) {
  return std::unexpected(ParseError{std::move(message), kind, cause});
}

}  // namespace folioscan

// `auto v = TRY(expr);` evaluates expr (a Result) and returns its error from the
// enclosing function, or yields its value. TRY_VOID does the same for Result<void>.
#define TRY(expr)                                                    \
  ({                                                                 \
    auto&& try_result_ = (expr);                                     \
    if (!try_result_) return std::unexpected(std::move(try_result_).error()); \
    std::move(*try_result_);                                         \
  })

#define TRY_VOID(expr)                                               \
  do {                                                               \
    auto&& try_result_ = (expr);                                     \
    if (!try_result_) return std::unexpected(std::move(try_result_).error()); \
  } while (0)
