#include "analysis/io_error.h"

#include <cerrno>
#include <cstring>

EInOutError EInOutError::FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return EInOutError(err, "File not found");
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EEXIST:
      return EInOutError(err, "File access denied");
    case ENOSPC:
#ifdef EDQUOT  // no disk quotas in Windows' C library
    case EDQUOT:
#endif
    case EFBIG:
      return EInOutError(err, "Disk full");
    default: {
      std::string message = "I/O error ";
      message += std::to_string(err);
      return EInOutError(err, message);
    }
  }
}

// The traditional run-time error numbers of these two conditions; they are
// not errno values (errors made by FromErrno carry the errno itself).
EInOutError EInOutError::ReadBeyondEnd() {
  return EInOutError(100, "Read beyond end of file");
}

EInOutError EInOutError::InvalidNumericInput() {
  return EInOutError(106, "Invalid numeric input");
}

EInOutError EInOutError::At(const std::string& path) const {
  // The two traditional numbers (100, 106) are no errno values.
  if (code_ == 100 || code_ == 106) return *this;
  return EInOutError(code_, Message() + ": " + path + " (" + std::strerror(code_) + ")");
}

bool EInOutError::Lasting() const noexcept {
  switch (code_) {
    case ENOENT:
    case ENOTDIR:
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return true;
    default:
      return false;
  }
}
