#include "support/error_handler.h"

namespace corvalin {

std::string ErrorLine(const ErrorHandler& error) {
  return ">>> ERROR(" + std::to_string(error.code) + "): " + error.Message();
}

std::string WarningLine(Error code, const std::string& text) {
  return ">>> WARNING(" + std::to_string(CodeOf(code)) + "): " + text;
}

}  // namespace corvalin
