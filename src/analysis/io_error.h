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
  // The same error with the file's path and the system's reason added:
  // "File access denied: /home/ann/.local/share/quorrel/quorreldata.txt
  // (Read-only file system)".  Errors that carry no errno keep their text.
  EInOutError At(const std::string& path) const;
  // True for a failure that trying again cannot mend: the folder or the file
  // cannot be reached or written (no such folder, no permission, a
  // read-only file system, a folder in the file's place).  A full disk or a
  // failing device is not lasting.
  bool Lasting() const noexcept;
  int Code() const noexcept { return code_; }

 private:
  int code_;
};
