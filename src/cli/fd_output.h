// Standard output as the program writes it: straight to a file descriptor,
// keeping the error of the write that failed, so that "cannot write the
// output" can say why (a full disk, a closed pipe).
#pragma once

#include <streambuf>
#include <string>

class tFdOutputBuffer : public std::streambuf {
 public:
  explicit tFdOutputBuffer(int fd);
  ~tFdOutputBuffer() override;
  tFdOutputBuffer(const tFdOutputBuffer&) = delete;
  tFdOutputBuffer& operator=(const tFdOutputBuffer&) = delete;

  // The errno of the first write that failed, 0 while all is well.
  int Error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;

 private:
  bool Flush();

  int fd_;
  int error_ = 0;
  std::string buffer_;
};
