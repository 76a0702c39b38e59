// A full disk for the length of a scope: the process may not make a file
// longer than `bytes` (RLIMIT_FSIZE), and a write past that fails with EFBIG
// ("Disk full") instead of raising SIGXFSZ.  Works for any user, root too.
#pragma once

#include <signal.h>
#include <sys/resource.h>

class tFileSizeLimit {
 public:
  explicit tFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    saved_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~tFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, saved_handler_);
  }
  tFileSizeLimit(const tFileSizeLimit&) = delete;
  tFileSizeLimit& operator=(const tFileSizeLimit&) = delete;

  bool Ok() const { return ok_; }

 private:
  rlimit saved_{};
  sighandler_t saved_handler_ = SIG_DFL;
  bool ok_ = false;
};
