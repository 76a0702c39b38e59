#include "results/results_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileDialog>
#include <cerrno>

#include "analysis/file_replace.h"
#include "analysis/io_error.h"
#include "numeric/errors.h"

namespace {

void WriteInPlace(const std::string& file_name, const std::string& content) {
  const int fd = ::open(file_name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
  if (fd < 0) throw EInOutError::FromErrno(errno);
  std::size_t written = 0;
  while (written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      const int err = n < 0 ? errno : ENOSPC;
      ::close(fd);
      throw EInOutError::FromErrno(err);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 && errno != EINTR) throw EInOutError::FromErrno(errno);
}

}  // namespace

std::optional<std::string> tQtSaveFileDialog::ChooseFile(const std::string& proposed_name) {
  QFileDialog dialog(parent_, QStringLiteral("Save As"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("*.txt"));
  // The viewer asks about existing files itself; the name stays as typed.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.selectFile(QString::fromStdString(proposed_name));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  return files.front().toStdString();
}

std::string OverwriteQuestion(const std::string& file_name) {
  return file_name + " already exists.\rDo you want to replace it?";
}

void WriteResultsFile(const std::string& file_name, const std::string& content) {
  struct stat info {};
  const bool exists = ::lstat(file_name.c_str(), &info) == 0;
  if (exists && S_ISLNK(info.st_mode)) {
    // A link is never followed: in a folder that others may write to (a
    // shared one, mode 1777) it may have been planted to lead into another
    // user's files.  Another user's link is refused; the user's own link is
    // replaced by the saved file, and what it led to stays as it was.
    if (info.st_uid != ::geteuid())
      throw Exception(file_name +
                      " is a link that belongs to another user; the results were not saved "
                      "through it");
    ReplaceFileWhole(file_name, content);
    return;
  }
  if (exists && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
    // A device or a pipe cannot be replaced: it is written to as it is.
    WriteInPlace(file_name, content);
    return;
  }
  // A file the user may not write stays protected, as when it was written
  // in place.
  if (exists && ::access(file_name.c_str(), W_OK) != 0) throw EInOutError::FromErrno(errno);
  // A file is replaced whole, through a temporary file beside it: a save
  // that fails (a full disk, say) leaves the earlier file as it was.
  ReplaceFileWhole(file_name, content);
}
