#include "cli/fd_output.h"

#include <unistd.h>

#include <cerrno>

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}  // namespace

tFdOutputBuffer::tFdOutputBuffer(int fd) : fd_(fd) {
  buffer_.reserve(kBufferSize);
}

tFdOutputBuffer::~tFdOutputBuffer() {
  Flush();
}

bool tFdOutputBuffer::Flush() {
  std::size_t done = 0;
  while (error_ == 0 && done < buffer_.size()) {
    const ssize_t written = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) error_ = errno;
    if (written == 0) error_ = ENOSPC;
    if (written > 0) done += static_cast<std::size_t>(written);
  }
  buffer_.clear();
  return error_ == 0;
}

tFdOutputBuffer::int_type tFdOutputBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return Flush() ? 0 : traits_type::eof();
  buffer_.push_back(traits_type::to_char_type(c));
  if (buffer_.size() >= kBufferSize && !Flush()) return traits_type::eof();
  return error_ == 0 ? c : traits_type::eof();
}

std::streamsize tFdOutputBuffer::xsputn(const char* text, std::streamsize count) {
  if (error_ != 0) return 0;
  buffer_.append(text, static_cast<std::size_t>(count));
  if (buffer_.size() >= kBufferSize && !Flush()) return 0;
  return count;
}

int tFdOutputBuffer::sync() {
  return Flush() ? 0 : -1;
}
