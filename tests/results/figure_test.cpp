// The figure of an analysis: its marks where the report's numbers put them,
// found again in the rendered image (positions, not pixels), its words in
// the user's decimal separator, and its PNG and SVG files.
#include "results/figure.h"

#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>

#include <gtest/gtest.h>

#include "analysis/text_format.h"
#include "pdf_text.h"

namespace {

// A real run, short enough for a test; the example's controls.
tAnalysis Analyse(long double case_x, long double case_y, tLimits limits,
                  tPrior prior = tPrior::Calibrated, int32_t iterations = 20000) {
  tAnalysis_request q;
  q.mean_x = 100;
  q.sd_x = 15;
  q.mean_y = 50;
  q.sd_y = 10;
  q.r = 0.6L;
  q.n = 20;
  q.case_x = case_x;
  q.case_y = case_y;
  q.options.limits = limits;
  q.options.prior = prior;
  q.iterations = iterations;
  return RunAnalysis(q);
}

QImage Render(const tAnalysis& a, char separator = '.') {
  QImage image(kFigureWidth, kFigureHeight, QImage::Format_RGB32);
  image.fill(Qt::black);  // the figure must paint its own background
  QPainter painter(&image);
  PaintFigure(painter, QRectF(0, 0, kFigureWidth, kFigureHeight), a, separator);
  return image;
}

// The share of rows in the plot's height where the pixel at column x (or
// the one beside it) is dark.
double DarkShare(const QImage& image, const tFigureLayout& f, double x) {
  int dark = 0, rows = 0;
  const int column = static_cast<int>(x);
  for (int y = static_cast<int>(f.plot.top()) + 2; y < f.plot.bottom() - 2; ++y, ++rows)
    if (std::min(qGray(image.pixel(column, y)), qGray(image.pixel(column + 1, y))) < 90) ++dark;
  return static_cast<double>(dark) / rows;
}

// The mean grey level of 9 pixels of a row.
double MeanGrey(const QImage& image, int x, int y) {
  double sum = 0;
  for (int dx = -4; dx <= 4; ++dx)
    sum += qGray(image.pixel(x + dx, y));
  return sum / 9;
}

// Light and dark pixels alternate along a stretch of a row: hatching.
bool Hatched(const QImage& image, int left, int right, int y) {
  int dark = 0, light = 0;
  for (int x = left; x <= right; ++x) {
    const int g = qGray(image.pixel(x, y));
    if (g < 200) ++dark;
    if (g > 220) ++light;
  }
  return dark >= (right - left) / 8 && light >= (right - left) / 8;
}

bool White(const QImage& image, int left, int right, int y) {
  for (int x = left; x <= right; ++x)
    if (qGray(image.pixel(x, y)) < 250) return false;
  return true;
}

TEST(Figure, MarksSitWhereTheReportsNumbersPutThem) {
  for (tLimits limits : {tLimits::TwoSided, tLimits::OneSidedLower, tLimits::OneSidedUpper}) {
    SCOPED_TRACE(static_cast<int>(limits));
    const tAnalysis a = Analyse(70, 55, limits);
    const tEngine_results& r = a.results;
    const tFigureLayout f = LayOutFigure(a, '.');
    // Everything drawn lies inside the plot.
    EXPECT_GT(f.estimate_x, f.plot.left());
    EXPECT_LT(f.estimate_x, f.plot.right());
    EXPECT_NEAR(f.estimate_x, f.XOf(r.zdcc), 1e-9);
    EXPECT_EQ(f.lower_x.has_value(), limits != tLimits::OneSidedUpper);
    EXPECT_EQ(f.upper_x.has_value(), limits != tLimits::OneSidedLower);
    if (f.lower_x) {
      EXPECT_NEAR(*f.lower_x, f.XOf(r.zdcc_lower), 1e-9);
    }
    if (f.upper_x) {
      EXPECT_NEAR(*f.upper_x, f.XOf(r.zdcc_upper), 1e-9);
    }
    // The band runs from the lower limit (or the plot's edge) to the upper.
    EXPECT_NEAR(f.band.left(), f.lower_x.value_or(f.plot.left()), 1e-9);
    EXPECT_NEAR(f.band.right(), f.upper_x.value_or(f.plot.right()), 1e-9);
    EXPECT_LT(f.XOf(r.zdcc_lower), f.estimate_x);
    EXPECT_GT(f.XOf(r.zdcc_upper), f.estimate_x);

    const QImage image = Render(a);
    // A solid line at the estimate, dashed lines at the limits drawn.
    EXPECT_GT(DarkShare(image, f, f.estimate_x), 0.97);
    for (const std::optional<double>& x : {f.lower_x, f.upper_x}) {
      if (!x) continue;
      const double share = DarkShare(image, f, *x);
      EXPECT_GT(share, 0.3) << *x;
      EXPECT_LT(share, 0.85) << *x;
    }
    // Near the plot's top (above the density) the band is hatched and the
    // plot outside it is white.
    const int y = static_cast<int>(f.plot.top()) + 6;
    const int band_left = static_cast<int>(f.band.left()) + 4;
    const int band_right = static_cast<int>(f.band.right()) - 4;
    const int between = static_cast<int>(f.estimate_x);
    EXPECT_TRUE(Hatched(image, band_left, std::min(band_right, between - 4), y));
    if (f.lower_x) {
      EXPECT_TRUE(White(image, static_cast<int>(f.plot.left()) + 2, band_left - 6, y));
    }
    if (f.upper_x) {
      EXPECT_TRUE(White(image, band_right + 6, static_cast<int>(f.plot.right()) - 2, y));
    }
  }
}

TEST(Figure, DensityFollowsTheSummarysCounts) {
  const tAnalysis a = Analyse(70, 55, tLimits::TwoSided);
  const tFigureLayout f = LayOutFigure(a, '.');
  const tDrawSummary& d = a.draws;
  std::size_t peak = 0;
  for (std::size_t k = 0; k < d.counts.size(); ++k)
    if (d.counts[k] > d.counts[peak]) peak = k;
  const double total = static_cast<double>(d.Total());
  const double top = f.YOf(d.counts[peak] / (total * static_cast<double>(d.bin_width)));
  // The tallest bin reaches close under the plot's top, leaving room.
  EXPECT_GT(top, f.plot.top() + 0.05 * f.plot.height());
  EXPECT_LT(top, f.plot.top() + 0.15 * f.plot.height());
  // Half-way between the estimate and the upper limit the density is
  // filled grey up to its bin's height, and only hatched above it.
  const QImage image = Render(a);
  const long double z = (a.results.zdcc + a.results.zdcc_upper) / 2;
  const auto bin = static_cast<std::size_t>((z - d.low) / d.bin_width);
  const double x = f.XOf(d.low + d.bin_width * (bin + 0.5L));
  const double height = f.YOf(d.counts[bin] / (total * static_cast<double>(d.bin_width)));
  const double below = MeanGrey(image, static_cast<int>(x), static_cast<int>(height) + 6);
  const double above = MeanGrey(image, static_cast<int>(x), static_cast<int>(height) - 6);
  EXPECT_LT(below, 200);
  EXPECT_GT(below, 120);
  EXPECT_GT(above - below, 15);
}

TEST(Figure, WordsCarryTheOptionsAndTheReportsNumbersInTheUsersSeparator) {
  const tAnalysis a = Analyse(70, 55, tLimits::TwoSided);
  const tEngine_results& r = a.results;
  const tFigureLayout f = LayOutFigure(a, ',');
  ASSERT_EQ(f.title.size(), 2);
  EXPECT_TRUE(f.title[1].startsWith(QStringLiteral("Standardized difference, calibrated prior")));
  const QString legend = f.legend.join(QLatin1Char('\n'));
  for (long double v : {r.zdcc, r.zdcc_lower, r.zdcc_upper})
    EXPECT_TRUE(legend.contains(QString::fromStdString(FormatFixed(v, 0, 3, ','))))
        << legend.toStdString();
  for (long double v : {r.pct_estimate, r.pct_lower, r.pct_upper})
    EXPECT_TRUE(legend.contains(QString::fromStdString(FormatFixed(v, 0, 3, ',')) + "%"))
        << legend.toStdString();
  EXPECT_FALSE(legend.contains(QString::fromStdString(FormatFixed(r.zdcc, 0, 3, '.'))));
  // With a decimal comma the thousands are grouped with points.
  EXPECT_TRUE(legend.contains(QStringLiteral("20.000 draws"))) << legend.toStdString();

  tAnalysis upper = a;
  upper.request.options.limits = tLimits::OneSidedUpper;
  upper.request.options.test = tTestKind::Unstandardized;
  upper.request.options.prior = tPrior::StandardTheory;
  const tFigureLayout u = LayOutFigure(upper, '.');
  EXPECT_TRUE(u.title[1].startsWith(QStringLiteral("Unstandardized difference, standard-theory")));
  EXPECT_TRUE(u.title[1].endsWith(QStringLiteral("one-sided upper limit")));
  const QString words = u.legend.join(QLatin1Char('\n'));
  // One-sided: four decimals for the percentage, and only the upper limit.
  EXPECT_TRUE(words.contains(QString::fromStdString(FormatFixed(r.pct_upper, 0, 4, '.')) + "%"));
  EXPECT_FALSE(words.contains(QString::fromStdString(FormatFixed(r.zdcc_lower, 0, 3, '.'))));
}

// Any score the analysis accepts, a 20-digit one pasted in included, gives a
// readable figure: axis labels apart from each other, and every line of
// words within the canvas.
TEST(Figure, ReadableForAnyScore) {
  const struct {
    long double case_x, case_y;
  } rows[] = {{70, 55},
              {12345678901234567890.0L, 55},
              {-98765432109876543210.0L, 1e19L},
              {1.5e308L, -1.5e308L},
              {70.000001L, 55}};
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<double>(row.case_x));
    tAnalysis a = Analyse(row.case_x, row.case_y, tLimits::TwoSided, tPrior::Calibrated, 5000);
    a.request.options.notes = {std::string(300, 'n')};
    const tFigureLayout f = LayOutFigure(a, ',', 12);
    ASSERT_GE(f.ticks.size(), 2u);
    const QFontMetricsF text(FigureFont(12));
    for (std::size_t k = 0; k < f.ticks.size(); ++k) {
      const auto& [x, label] = f.ticks[k];
      EXPECT_GE(x, f.plot.left() - 0.5);
      EXPECT_LE(x, f.plot.right() + 0.5);
      if (k == 0) continue;
      const auto& [left_x, left_label] = f.ticks[k - 1];
      EXPECT_GT(x - left_x,
                (text.horizontalAdvance(label) + text.horizontalAdvance(left_label)) / 2 + 4)
          << left_label.toStdString() << " | " << label.toStdString();
    }
    EXPECT_LE(text.horizontalAdvance(f.axis_caption), f.plot.width());
    EXPECT_LE(QFontMetricsF(FigureFont(f.identity_pixels, true)).horizontalAdvance(f.identity),
              kFigureWidth);
    EXPECT_TRUE(f.identity.startsWith(QStringLiteral("Report 12: case's scores X = ")));
    EXPECT_GE(f.legend_pixels, 8);
    const QFontMetricsF legend(FigureFont(f.legend_pixels));
    for (const QString& line : f.legend)
      EXPECT_LE(legend.horizontalAdvance(line), kFigureWidth - f.plot.left() - 44)
          << line.toStdString();
    EXPECT_GT(DarkShare(Render(a), f, f.estimate_x), 0.97);
  }
}

TEST(Figure, WithoutDrawsTheLimitsStillShow) {
  tAnalysis a = Analyse(70, 55, tLimits::TwoSided);
  a.draws = tDrawSummary();
  const tFigureLayout f = LayOutFigure(a, '.');
  EXPECT_GT(*f.lower_x, f.plot.left());
  EXPECT_LT(*f.upper_x, f.plot.right());
  const QImage image = Render(a);
  EXPECT_GT(DarkShare(image, f, f.estimate_x), 0.97);
}

TEST(Figure, SavedAsPngAndSvg) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  if (qEnvironmentVariableIsSet("QUORREL_KEEP_TEST_FILES")) {
    dir.setAutoRemove(false);
    std::printf("test files in %s\n", qPrintable(dir.path()));
  }
  const tAnalysis a = Analyse(70, 55, tLimits::TwoSided);
  const QString png = dir.filePath(QStringLiteral("figure.png"));
  SaveFigurePng(png, a, '.');
  const QImage image(png);
  EXPECT_EQ(image.size(), QSize(2 * kFigureWidth, 2 * kFigureHeight));
  const QString svg = dir.filePath(QStringLiteral("figure.svg"));
  SaveFigureSvg(svg, a, '.');
  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray content = file.readAll();
  EXPECT_TRUE(content.contains("<svg"));
  EXPECT_TRUE(content.contains("Point estimate Z-DCC"));
  EXPECT_ANY_THROW(SaveFigurePng(dir.filePath(QStringLiteral("no/such/folder/f.png")), a, '.'));
}

}  // namespace
