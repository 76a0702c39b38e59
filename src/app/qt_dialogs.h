// The program's messages on the real screen: warning, confirmation and error
// boxes, the system beep and the busy pointer.
#pragma once

#include <QMessageBox>

#include "analysis/platform_interfaces.h"

// The caption of the error box for errors that escaped an operation.
inline constexpr const char* kApplicationTitle = "Quorrel";

// A message box that centres itself on the screen when shown, whatever
// window is active.
class TScreenCentredBox : public QMessageBox {
  Q_OBJECT

 public:
  TScreenCentredBox(QMessageBox::Icon icon, const QString& caption, const std::string& text,
                    QMessageBox::StandardButtons buttons);

 protected:
  void showEvent(QShowEvent* event) override;
};

class TQtUserDialogs : public tUserDialogs {
 public:
  void ShowWarning(const std::string& text) override;
  void Beep() override;
  bool Confirm(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void SetBusyPointer(bool busy) override;
  int Choose(const std::string& text, const std::vector<std::string>& choices) override;

 private:
  bool busy_ = false;
};
