// The one error object of Corvalin: a code (negative for the program's own failures, the
// platform's error number otherwise) and a message shared between copies. Thrown by value,
// caught by reference; a step that undoes its work throws the same object again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvalin {

struct ErrorHandler {
  ErrorHandler(std::int32_t error_code, std::string text)
      : code(error_code), message(std::make_shared<const std::string>(std::move(text))) {}

  const std::string& Message() const { return *message; }

  std::int32_t code;
  std::shared_ptr<const std::string> message;
};

// ">>> ERROR(" + code + "): " + message, without any line end.
std::string ErrorLine(const ErrorHandler& error);

}  // namespace corvalin
