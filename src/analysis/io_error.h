// Input/output errors of the data file and of saved results, with the
// platform-style messages the user sees.
#pragma once

#include <string>

#include "numeric/errors.h"

class EInOutError : public Exception {
 public:
  EInOutError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
  // The error for an errno value: "File not found", "File access denied",
  // "Disk full", otherwise "I/O error %d".
  static EInOutError FromErrno(int err);
  // "Read beyond end of file" and "Invalid numeric input".
  static EInOutError ReadBeyondEnd();
  static EInOutError InvalidNumericInput();
  int Code() const noexcept { return code_; }

 private:
  int code_;
};
