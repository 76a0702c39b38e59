// The program's error types.  Every error that ends an operation is an
// `Exception`, so the event loop can show any of them with one handler.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "numeric/real.h"

// The general exception class: nothing but a message.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// An argument or a distribution parameter out of range.  `Id` is the message
// id (1301 to 1315, 1361, 1363) that selected the text; `Limit` is the bound
// that the message ends with, for an id that names one, so that the message
// can be written again with the user's decimal separator.
class EArgumentError : public Exception {
 public:
  EArgumentError(int id, std::string message, std::optional<tReal> limit = std::nullopt)
      : Exception(std::move(message)), id_(id), limit_(limit) {}
  int Id() const noexcept { return id_; }
  const std::optional<tReal>& Limit() const noexcept { return limit_; }

 private:
  int id_;
  std::optional<tReal> limit_;
};

// A floating-point fault (invalid operation, division by zero, overflow) that
// ended the computation in progress.
class EMathError : public Exception {
 public:
  using Exception::Exception;
};
class EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};
class EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
};
class EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("Floating point overflow") {}
};
