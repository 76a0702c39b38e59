// Saving the viewer's text: the file-save dialog behind a small interface,
// and the writing of the file itself.
#pragma once

#include <optional>
#include <string>

class QWidget;

// Asks the user for the name to save under.
class tSaveFileDialog {
 public:
  virtual ~tSaveFileDialog() = default;
  // Runs the dialog proposing `proposed_name`; the chosen name as entered
  // (no extension added), or nothing when the user cancels.  It does not ask
  // about existing files: the viewer does that, so that its question goes
  // through the program's own dialogs.
  virtual std::optional<std::string> ChooseFile(const std::string& proposed_name) = 0;
};

// The platform's file-save dialog with the "*.txt" filter.
class tQtSaveFileDialog : public tSaveFileDialog {
 public:
  explicit tQtSaveFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<std::string> ChooseFile(const std::string& proposed_name) override;

 private:
  QWidget* parent_;
};

// The question asked before an existing file is replaced.
std::string OverwriteQuestion(const std::string& file_name);

// Replaces `file_name` with `content`, byte for byte, through a temporary
// file beside it that is renamed over it (ReplaceFileWhole): when the save
// fails the earlier file is intact.  A link is never followed: the user's
// own link is replaced by the file, another user's is refused with an
// `Exception`.  A device or a pipe is written to in place.  Throws
// `EInOutError` for the failing call's errno; every file is closed in every
// case.
void WriteResultsFile(const std::string& file_name, const std::string& content);
