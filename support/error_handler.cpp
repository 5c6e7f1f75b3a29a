#include "support/error_handler.h"

namespace corvalin {

std::string ErrorLine(const ErrorHandler& error) {
  return ">>> ERROR(" + std::to_string(error.code) + "): " + error.Message();
}

}  // namespace corvalin
