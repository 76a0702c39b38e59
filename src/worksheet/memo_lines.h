// The lines of a multi-line memo as the user sees them: every wrapped display
// line is a line of its own.  A last line that is empty (the text ends with a
// line break, or the memo is empty) is not counted.
#pragma once

#include <QStringList>

class QPlainTextEdit;

QStringList MemoDisplayLines(const QPlainTextEdit& memo);
