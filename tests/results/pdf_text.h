// Reading printed PDF files back with poppler's command-line tools.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <ostream>

// True when the poppler tool `name` (pdftotext, pdftoppm) can be run.
inline bool HavePopplerTool(const char* name) {
  return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

// The text of every page of `pdf`, pages separated by form feeds, laid out
// as printed (so leading blanks of a monospace text survive).
inline QString PdfText(const QString& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return QStringLiteral("<failed>");
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The lines of `text` that hold anything, without trailing blanks; the text
// tools do not keep empty lines or trailing blanks reliably.
inline QStringList NonEmptyLines(const QString& text) {
  QStringList lines;
  for (QString line : text.split(QLatin1Char('\n'))) {
    line.remove(QLatin1Char('\f'));
    while (!line.isEmpty() && line.back().isSpace())
      line.chop(1);
    if (!line.isEmpty()) lines.push_back(line);
  }
  return lines;
}

// Each line with its blanks collapsed.
inline QStringList Simplified(QStringList lines) {
  for (QString& line : lines)
    line = line.simplified();
  return lines;
}

// Lets GoogleTest print Qt strings in its failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE
