// The figure of one analysis: the posterior density of the case's effect
// size Z-DCC (a histogram of the draws' summary), the point estimate as a
// solid line, the credible interval (or the one-sided limit) as a hatched
// band bounded by dashed lines, and a legend with the report's numbers and
// the matching percentages of the control population.  Drawn with QPainter,
// so the same code paints the viewer's widget, a PNG or SVG file and a page
// of the PDF.  Greys, hatching and line styles only: it reads the same
// printed in black and white.
#pragma once

#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/compute_driver.h"

class QPainter;

// The figure's own coordinate system: everything is laid out on a canvas of
// this size and scaled to the area it is drawn into.
inline constexpr int kFigureWidth = 640;
inline constexpr int kFigureHeight = 400;

// Where the figure's parts go on the canvas, and how Z-DCC values and
// densities map to it.
struct tFigureLayout {
  QRectF plot;                    // the axes' box
  long double z_low = 0;          // Z-DCC at the plot's left edge
  long double z_high = 1;         // ... and at its right edge
  double density_top = 1;         // density at the plot's top edge
  double estimate_x = 0;          // the point estimate's line
  std::optional<double> lower_x;  // the lower limit's line, when it is drawn
  std::optional<double> upper_x;  // the upper limit's line, when it is drawn
  QRectF band;                    // the hatched credible region
  QString identity;               // whose figure: report number, scores, notes
  QStringList title;              // two lines
  QStringList legend;             // estimate, limits, density
  // The x axis: each tick's place and value label, and its caption; the
  // labels are values divided by 10^axis_exponent (the caption says so).
  std::vector<std::pair<double, QString>> ticks;
  int axis_exponent = 0;
  QString axis_caption;
  // The pixel sizes of the identity line and the legend, smaller than the
  // usual when their words would not fit the canvas otherwise.
  int identity_pixels = 0;
  int legend_pixels = 0;

  double XOf(long double z) const;
  double YOf(double density) const;
};

// The layout of `analysis`'s figure; numbers use `decimal_separator`.  The
// figure names its report: `report_number` (its place among the viewer's
// reports; 0 for none), the case's two scores and the first line of the
// notes.
tFigureLayout LayOutFigure(const tAnalysis& analysis, char decimal_separator,
                           int report_number = 0);

// The font of the figure's words, `pixels` high on the canvas.
QFont FigureFont(int pixels, bool bold = false);

// Paints the figure of `analysis` scaled into `area` of `painter`'s device,
// on a white background.
void PaintFigure(QPainter& painter, const QRectF& area, const tAnalysis& analysis,
                 char decimal_separator, int report_number = 0);

// The figure as a PNG file of `size` pixels, or as an SVG file.  Throw an
// `Exception` when the file cannot be written.
void SaveFigurePng(const QString& file, const tAnalysis& analysis, char decimal_separator,
                   int report_number = 0, QSize size = QSize(2 * kFigureWidth, 2 * kFigureHeight));
void SaveFigureSvg(const QString& file, const tAnalysis& analysis, char decimal_separator,
                   int report_number = 0);

// The viewer's picture of the latest report; empty until it is given one.
class tFigureView : public QWidget {
 public:
  explicit tFigureView(QWidget* parent = nullptr);
  void SetAnalysis(const tAnalysis& analysis, char decimal_separator, int report_number = 0);
  void Clear();
  bool HasFigure() const { return analysis_.has_value(); }
  const std::optional<tAnalysis>& Analysis() const { return analysis_; }
  char DecimalSeparator() const { return separator_; }
  int ReportNumber() const { return report_number_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<tAnalysis> analysis_;
  char separator_ = '.';
  int report_number_ = 0;
};
