#include "app/qt_dialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace {

// The program's texts break lines with a carriage return; the box breaks
// them at line feeds.
QString BoxText(const std::string& text) {
  return QString::fromStdString(MessageLines(text));
}

}  // namespace

TScreenCentredBox::TScreenCentredBox(QMessageBox::Icon icon, const QString& caption,
                                     const std::string& text, QMessageBox::StandardButtons buttons)
    : QMessageBox(icon, caption, BoxText(text), buttons) {
  setTextFormat(Qt::PlainText);  // the program's texts are never markup
  setWindowModality(Qt::ApplicationModal);
}

void TScreenCentredBox::showEvent(QShowEvent* event) {
  QMessageBox::showEvent(event);  // fixes the box's final size
  QScreen* target = QGuiApplication::primaryScreen();
  if (!target) return;
  const QRect area = target->availableGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
}

void TQtUserDialogs::ShowWarning(const std::string& text) {
  TScreenCentredBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok);
  box.exec();
}

void TQtUserDialogs::Beep() {
  QApplication::beep();
}

bool TQtUserDialogs::Confirm(const std::string& text) {
  TScreenCentredBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                        QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

int TQtUserDialogs::Choose(const std::string& text, const std::vector<std::string>& choices) {
  // A question asked over the busy pointer would look as if nothing could
  // be clicked.
  const bool was_busy = busy_;
  SetBusyPointer(false);
  TScreenCentredBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                        QMessageBox::NoButton);
  std::vector<QAbstractButton*> buttons;
  for (const std::string& choice : choices)
    buttons.push_back(box.addButton(QString::fromStdString(choice), QMessageBox::ActionRole));
  if (!buttons.empty()) {
    box.setDefaultButton(static_cast<QPushButton*>(buttons.front()));
    box.setEscapeButton(buttons.back());
  }
  box.exec();
  SetBusyPointer(was_busy);
  for (std::size_t i = 0; i < buttons.size(); ++i)
    if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
  return -1;
}

void TQtUserDialogs::ShowError(const std::string& text) {
  // A box over a busy pointer would look as if the program still worked.
  SetBusyPointer(false);
  TScreenCentredBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text,
                        QMessageBox::Ok);
  box.exec();
}

void TQtUserDialogs::SetBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy)
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QGuiApplication::restoreOverrideCursor();
}
