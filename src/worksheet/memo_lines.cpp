#include "worksheet/memo_lines.h"

#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>

namespace {

// The width the memo lays its text out in: the viewport less the document's
// margins on both sides.  Before the memo was ever shown its viewport has not
// been placed yet, so the width is then derived from the memo's own frame.
qreal LayoutWidth(const QPlainTextEdit& memo) {
  int viewport = memo.viewport()->width();
  if (!memo.isVisible()) {
    viewport = memo.contentsRect().width();
    if (memo.verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn)
      viewport -= memo.verticalScrollBar()->sizeHint().width();
  }
  const qreal width = viewport - 2 * memo.document()->documentMargin();
  return width > 1 ? width : 1;
}

}  // namespace

QStringList MemoDisplayLines(const QPlainTextEdit& memo) {
  QStringList lines;
  const QTextDocument* doc = memo.document();
  const bool wraps = memo.lineWrapMode() != QPlainTextEdit::NoWrap;
  const qreal width = LayoutWidth(memo);
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    const QString text = block.text();
    if (!wraps || text.isEmpty()) {
      lines << text;
      continue;
    }
    // The same layout the memo performs for this block, on a private
    // QTextLayout so that blocks scrolled out of view count as well.
    QTextLayout layout(text, doc->defaultFont());
    layout.setTextOption(doc->defaultTextOption());
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      lines << text.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
  }
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}
