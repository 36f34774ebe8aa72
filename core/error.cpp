// The names of the error kinds and the one text form of an error, "Kind: message".
#include "error.h"

namespace folioscan {

std::string_view kind_name(ParseErrorKind kind) {
  switch (kind) {
    case ParseErrorKind::InvalidHeader: return "InvalidHeader";
    case ParseErrorKind::InvalidXref: return "InvalidXref";
    case ParseErrorKind::InvalidObject: return "InvalidObject";
    case ParseErrorKind::UnexpectedToken: return "UnexpectedToken";
    case ParseErrorKind::UnexpectedEof: return "UnexpectedEof";
    case ParseErrorKind::BadStream: return "BadStream";
    case ParseErrorKind::MissingTrailer: return "MissingTrailer";
    case ParseErrorKind::ObjectNotFound: return "ObjectNotFound";
    case ParseErrorKind::Unsupported: return "Unsupported";
    case ParseErrorKind::InvalidPassword: return "InvalidPassword";
  }
  return "Unknown";
}

std::string ParseError::display() const {
  std::string out(kind_name(kind));
  out += ": ";
  out += message;
  return out;
}

}  // namespace folioscan
