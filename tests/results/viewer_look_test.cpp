// The viewer as it looks on screen: captions that fit their buttons, the
// report readable in the memo, and pictures of it for the documentation
// (written when QUORREL_SCREENSHOT_DIR names a folder).
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <gtest/gtest.h>

#include "analysis/data_file.h"
#include "analysis/report.h"
#include "results/TemplateResults.h"
#include "results_fakes.h"
#include "support/recording_dialogs.h"

namespace {

tAnalysis Example(tLimits limits) {
  tAnalysis a;
  a.request.mean_x = 100;
  a.request.sd_x = 15;
  a.request.mean_y = 50;
  a.request.sd_y = 10;
  a.request.r = 0.6L;
  a.request.n = 20;
  a.request.case_x = 70;
  a.request.case_y = 55;
  a.request.limits = limits;
  a.z_x = -2;
  a.z_y = 0.5L;
  a.results = {0.00819L, 0.01639L, 0.819L, 0.008L, 4.468L, -2.795L, -3.788L, -1.699L};
  return a;
}

// Rows of the image (within `area`) that hold dark pixels.
int DarkRows(const QImage& image, const QRect& area) {
  int rows = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 100) {
        ++rows;
        break;
      }
    }
  }
  return rows;
}

void Keep(const QImage& image, const char* name) {
  const QString folder = qEnvironmentVariable("QUORREL_SCREENSHOT_DIR");
  if (!folder.isEmpty()) image.save(QDir(folder).filePath(QString::fromLatin1(name)));
}

TEST(ResultsViewerLookTest, CaptionsFitAndReportsAreReadable) {
  tRecordingDialogs dialogs;
  TfrmTemplateResults viewer(dialogs, std::make_unique<tScriptedSaveDialog>(),
                             std::make_unique<tPdfPrinterProvider>());
  for (QPushButton* button : viewer.findChildren<QPushButton*>()) {
    QStyleOptionButton option;
    option.initFrom(button);
    const QSize needed = button->style()->sizeFromContents(
        QStyle::CT_PushButton, &option, button->fontMetrics().size(0, button->text()), button);
    EXPECT_LE(needed.width(), button->width()) << button->text().toStdString();
    EXPECT_LE(button->fontMetrics().height(), button->height());
  }

  auto* memo = viewer.findChild<QPlainTextEdit*>(QStringLiteral("memoResults"));
  viewer.ShowResults("Results viewer: " + ProgramTitle);
  viewer.AppendLines(BuildReport(viewer.HoldsText(), ProgramTitle, Example(tLimits::TwoSided)));
  memo->moveCursor(QTextCursor::Start);
  const QImage one = viewer.grab().toImage();
  Keep(one, "results-one.png");

  // The memo's visible part is full of text lines; the buttons' strip too.
  const QRect memo_area(memo->mapTo(&viewer, QPoint(4, 4)), QSize(700, memo->height() - 8));
  EXPECT_GT(DarkRows(one, memo_area), 150);
  const QRect button_area(viewer.findChild<QPushButton*>(QStringLiteral("cmdReturn"))
                              ->geometry()
                              .translated(viewer.centralWidget()->pos()));
  EXPECT_GT(DarkRows(one, button_area.adjusted(4, 4, -4, -4)), 5);

  viewer.AppendLines(
      BuildReport(viewer.HoldsText(), ProgramTitle, Example(tLimits::OneSidedLower)));
  const QImage two = viewer.grab().toImage();
  Keep(two, "results.png");
  EXPECT_GT(DarkRows(two, memo_area), 150);
}

}  // namespace
