// The one error object of Corvalin: a code (negative for the program's own failures, the
// platform's error number otherwise) and a message shared between copies. Thrown by value,
// caught by reference; a step that undoes its work throws the same object again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvalin {

// The program's own codes, one name each (the platform's error numbers are positive). Where a
// code serves two causes, its name covers both.
enum class Error : std::int32_t {
  kReadFailed = -1,
  kWriteFailed = -2,
  kDeleteFailed = -4,
  kOpenFailed = -5,
  kStreamOpenFailed = -6,  // a compressed stream
  kAlreadyOpen = -7,
  kMissingLogName = -8,          // warning
  kVerboseOutOfRange = -10,      // warning, -v and -lv
  kCompressionOutOfRange = -11,  // warning
  kRenameFailed = -12,
  kWipeOutOfRange = -13,     // warning
  kWorkersOutOfRange = -14,  // warning
  kNotAContainer = -20,      // or the wrong password or parameters
  kBadStoredName = -21,
  kKeyTooLong = -22,
  kChecksumMismatch = -23,
  kNameExists = -24,
  kAlreadyEncrypted = -25,
  kMissingPassword = -26,
  kEmptyArgument = -27,
  kMissingSuffix = -28,
  kMissingEntryPoint = -29,
  kModuleNotLoaded = -30,
  kVersionUnreadable = -31,
  kVersionLengthUnreadable = -32,
  kVersionTranslationUnreadable = -33,
  kVersionStringMissing = -34,
  kUnsupported = -35,  // a block size, or a filter a container records
  kTooLarge = -36,
  kLineFeedInName = -37,  // warning
  kOtherLinks = -38,      // warning
  kPathNoLongerLeads = -39,
  kChangedWhileRead = -40,
  kListNotWhole = -41,
  kLeftOut = -44,     // a named link, FIFO, device or reserved name
  kWipeFailed = -45,  // warning: a removed file could not be overwritten to the end
  kBadKeyLength = -50,
  kBadBlockSize = -51,
  kBadMode = -52,
  kBadFormat = -53,
  kUnknownSwitch = -60,
  kMissingWipeLevel = -61,
  kMissingCompressionLevel = -62,
  kMissingVerbose = -63,
  kMissingLogVerbose = -64,
  kMissingWorkers = -65,
  kEmptyAnswer = -70,
  kAnswersDiffer = -71,
  kAnswerTooLong = -72,
  kPromptUnreadable = -73,
  kPasswordFileUnreadable = -74,
  kUnrepresentableName = -80,
  kTrailingDotOrSpace = -81,
  kDeviceName = -82,
  kPathTooLong = -83,
  kInterrupted = -90,
};

constexpr std::int32_t CodeOf(Error error) {
  return static_cast<std::int32_t>(error);
}

struct ErrorHandler {
  ErrorHandler(std::int32_t error_code, std::string text)
      : code(error_code), message(std::make_shared<const std::string>(std::move(text))) {}
  ErrorHandler(Error error, std::string text) : ErrorHandler(CodeOf(error), std::move(text)) {}

  const std::string& Message() const { return *message; }

  std::int32_t code;
  std::shared_ptr<const std::string> message;
};

// ">>> ERROR(" + code + "): " + message, without any line end.
std::string ErrorLine(const ErrorHandler& error);
// ">>> WARNING(" + code + "): " + text, without any line end.
std::string WarningLine(Error code, const std::string& text);

}  // namespace corvalin
