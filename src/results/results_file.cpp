#include "results/results_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFileDialog>
#include <cerrno>

#include "analysis/io_error.h"

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
  const int fd = ::open(file_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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
