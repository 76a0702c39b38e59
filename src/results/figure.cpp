#include "results/figure.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/report.h"
#include "analysis/text_format.h"
#include "numeric/errors.h"

namespace {

// The canvas's parts, top to bottom: the report's identity, two title
// lines, the plot with its x axis labels and caption, three legend lines.
constexpr double kMarginLeft = 60;
constexpr double kMarginRight = 16;
constexpr double kPlotTop = 68;
constexpr double kPlotBottom = 278;
constexpr double kLegendTop = 330;
constexpr double kLegendLine = 22;
constexpr int kTitlePixels = 14;
constexpr int kTextPixels = 12;
// Words are never made smaller than this to fit.
constexpr int kSmallestPixels = 8;
// The legend's words start here, right of their marks.
constexpr double kLegendTextLeft = kMarginLeft + 44;
// Beyond this magnitude a number is written in scientific notation, and the
// axis counts in powers of ten.
constexpr long double kLargestFixed = 1e6L;

const QColor kDensityFill(170, 170, 170);
const QColor kBandFill(232, 232, 232);

QString Fixed(long double value, int decimals, char separator) {
  return QString::fromStdString(FormatFixed(value, 0, decimals, separator));
}

// A number as the report writes it, in fixed point; one whose digits would
// crowd the figure's lines in scientific notation with five significant
// digits instead.
QString Shown(long double value, int decimals, char separator) {
  if (std::fabs(value) < kLargestFixed) return Fixed(value, decimals, separator);
  QString text = QString::fromStdString(FormatScientific(value, 4));
  text.replace(QLatin1Char('.'), QLatin1Char(separator));
  return text;
}

double TextWidth(const QString& text, int pixels, bool bold = false) {
  return QFontMetricsF(FigureFont(pixels, bold)).horizontalAdvance(text);
}

// The largest size, from `pixels` down to kSmallestPixels, at which every
// one of `lines` is at most `width` wide.
int FittingPixels(const QStringList& lines, int pixels, double width, bool bold = false) {
  for (; pixels > kSmallestPixels; --pixels) {
    bool fits = true;
    for (const QString& line : lines)
      fits = fits && TextWidth(line, pixels, bold) <= width;
    if (fits) break;
  }
  return pixels;
}

// Whose figure it is: the report's number in the viewer, the case's scores
// and the first line of the user's notes, which is cut short (with an
// ellipsis) when the line would not fit the canvas.
QString IdentityLine(const tAnalysis& a, char sep, int report_number, int& pixels) {
  QString line = report_number > 0 ? QStringLiteral("Report %1: ").arg(report_number) : QString();
  line += QStringLiteral("case's scores X = %1, Y = %2")
              .arg(Shown(a.request.case_x, 2, sep), Shown(a.request.case_y, 2, sep));
  const double width = kFigureWidth - 16;
  pixels = FittingPixels({line}, kTitlePixels, width, true);
  for (const std::string& note : a.request.options.notes) {
    const QString first = QString::fromStdString(note).simplified();
    if (first.isEmpty()) continue;
    const QFontMetricsF metrics(FigureFont(pixels, true));
    const QString separator = QStringLiteral("; ");
    const double room = width - metrics.horizontalAdvance(line + separator);
    const QString shown = metrics.elidedText(first, Qt::ElideRight, room);
    if (!shown.isEmpty()) line += separator + shown;
    break;
  }
  return line;
}

// A count with its digits in groups of three.
QString Grouped(int64_t count, char group_separator) {
  QString digits = QString::number(count);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
    digits.insert(at, QLatin1Char(group_separator));
  return digits;
}

// The smallest of 1, 2, 2.5 and 5 times a power of ten at or above `step`.
double RoundStep(double step) {
  double power = 1;
  while (power > step)
    power /= 10;
  while (power * 10 <= step)
    power *= 10;
  for (double m : {1.0, 2.0, 2.5, 5.0})
    if (m * power >= step * (1 - 1e-9)) return m * power;
  return 10 * power;
}

// Decimals that show every multiple of `step` exactly (at most 4).
int DecimalsFor(double step) {
  for (int d = 0; d < 12; ++d) {
    const double scaled = step * std::pow(10.0, d);
    if (std::fabs(scaled - std::round(scaled)) < 1e-6 * scaled) return d;
  }
  return 12;
}

// The x axis's ticks: round values, as many as fit with room between their
// labels, counted in units of 10^exponent when the values are large.
void LayOutTicks(tFigureLayout& f, char sep) {
  const long double magnitude = std::max(std::fabs(f.z_low), std::fabs(f.z_high));
  f.axis_exponent =
      magnitude >= kLargestFixed ? static_cast<int>(std::floor(std::log10(magnitude))) : 0;
  const long double unit = std::pow(10.0L, static_cast<long double>(f.axis_exponent));
  const double low = static_cast<double>(f.z_low / unit);
  const double high = static_cast<double>(f.z_high / unit);
  const double pixels_per_unit = f.plot.width() / (high - low);
  double step = RoundStep((high - low) / 7);
  for (int attempt = 0; attempt < 40; ++attempt) {
    f.ticks.clear();
    const int decimals = DecimalsFor(step);
    double widest = 0;
    const double first = std::ceil(low / step);
    for (int k = 0; k <= 60; ++k) {
      const double z = (first + k) * step;
      if (z > high + 1e-9 * step) break;
      const QString label = Fixed(std::fabs(z) < 1e-9 * step ? 0.0 : z, decimals, sep);
      widest = std::max(widest, TextWidth(label, kTextPixels));
      f.ticks.emplace_back(f.XOf(static_cast<long double>(z) * unit), label);
    }
    // Labels a word's width apart at the least.
    if (widest + 12 <= step * pixels_per_unit) break;
    step = RoundStep(step * 1.0001);
  }
  const QString quantity = f.axis_exponent == 0
                               ? QStringLiteral("Z-DCC")
                               : QStringLiteral("Z-DCC in units of 10^%1").arg(f.axis_exponent);
  f.axis_caption =
      quantity + QStringLiteral(", the difference between case and controls (Task X minus Task Y)");
}

// The credible limits the analysis asked for.
bool ShowsLower(const tAnalysis& a) {
  return a.request.options.limits != tLimits::OneSidedUpper;
}
bool ShowsUpper(const tAnalysis& a) {
  return a.request.options.limits != tLimits::OneSidedLower;
}

QStringList TitleLines(const tAnalysis& a) {
  const QString test = a.request.options.test == tTestKind::Standardized
                           ? QStringLiteral("Standardized difference")
                           : QStringLiteral("Unstandardized difference");
  const QString prior = QString::fromUtf8(PriorTraits(a.request.options.Prior()).figure_title);
  QString limits;
  switch (a.request.options.limits) {
    case tLimits::TwoSided:
      limits = QStringLiteral("95% credible interval");
      break;
    case tLimits::OneSidedLower:
      limits = QStringLiteral("95% one-sided lower limit");
      break;
    case tLimits::OneSidedUpper:
      limits = QStringLiteral("95% one-sided upper limit");
      break;
  }
  return {QStringLiteral("Posterior distribution of the case's effect size Z-DCC"),
          test + QStringLiteral(", ") + prior + QStringLiteral(", ") + limits};
}

QStringList LegendLines(const tAnalysis& a, char sep) {
  const tEngine_results& r = a.results;
  // The percentages as the report prints them.
  const int pd = PercentDecimals(a.request.options.limits);
  QStringList lines;
  lines.push_back(QStringLiteral("Point estimate Z-DCC = %1; %2% of controls more extreme")
                      .arg(Shown(r.zdcc, 3, sep), Shown(r.pct_estimate, pd, sep)));
  switch (a.request.options.limits) {
    case tLimits::TwoSided:
      lines.push_back(
          QStringLiteral("95% credible interval %1 to %2; %3% to %4% of controls more extreme")
              .arg(Shown(r.zdcc_lower, 3, sep), Shown(r.zdcc_upper, 3, sep),
                   Shown(r.pct_lower, pd, sep), Shown(r.pct_upper, pd, sep)));
      break;
    case tLimits::OneSidedLower:
      lines.push_back(QStringLiteral("95% one-sided lower limit %1; at least %2% of controls "
                                     "more extreme")
                          .arg(Shown(r.zdcc_lower, 3, sep), Shown(r.pct_lower, pd, sep)));
      break;
    case tLimits::OneSidedUpper:
      lines.push_back(QStringLiteral("95% one-sided upper limit %1; at most %2% of controls "
                                     "more extreme")
                          .arg(Shown(r.zdcc_upper, 3, sep), Shown(r.pct_upper, pd, sep)));
      break;
  }
  const int64_t total = a.draws.Total();
  lines.push_back(total > 0 ? QStringLiteral("Posterior density of Z-DCC from %1 draws")
                                  .arg(Grouped(total, sep == ',' ? '.' : ','))
                            : QStringLiteral("Posterior density of Z-DCC: no draws kept"));
  return lines;
}

}  // namespace

double tFigureLayout::XOf(long double z) const {
  return plot.left() + static_cast<double>((z - z_low) / (z_high - z_low)) * plot.width();
}

double tFigureLayout::YOf(double density) const {
  return plot.bottom() - density / density_top * plot.height();
}

QFont FigureFont(int pixels, bool bold) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

tFigureLayout LayOutFigure(const tAnalysis& a, char decimal_separator, int report_number) {
  tFigureLayout f;
  f.plot =
      QRectF(QPointF(kMarginLeft, kPlotTop), QPointF(kFigureWidth - kMarginRight, kPlotBottom));
  const tEngine_results& r = a.results;
  // The draws' range; without draws, the limits with half their distance as
  // room.  Z-DCC comes from the sample statistics and may lie outside.
  if (!a.draws.Empty()) {
    f.z_low = a.draws.low;
    f.z_high = a.draws.High();
  } else {
    const long double room = std::max((r.zdcc_upper - r.zdcc_lower) / 2, 0.5L);
    f.z_low = r.zdcc_lower - room;
    f.z_high = r.zdcc_upper + room;
  }
  const long double margin = (f.z_high - f.z_low) / 40;
  f.z_low = std::min(f.z_low, r.zdcc - margin);
  f.z_high = std::max(f.z_high, r.zdcc + margin);
  if (!(f.z_high - f.z_low > std::fabs(f.z_high) * 1e-12L)) {
    // Draws and estimate all at one value: an axis around it.
    const long double room = std::max(std::fabs(r.zdcc) * 1e-6L, 0.5L);
    f.z_low = r.zdcc - room;
    f.z_high = r.zdcc + room;
  }

  double peak = 0;
  const double total = static_cast<double>(a.draws.Total());
  for (int32_t c : a.draws.counts)
    peak = std::max(peak, c / (total * static_cast<double>(a.draws.bin_width)));
  f.density_top = peak > 0 ? peak * 1.12 : 1;

  f.estimate_x = f.XOf(r.zdcc);
  if (ShowsLower(a)) f.lower_x = f.XOf(r.zdcc_lower);
  if (ShowsUpper(a)) f.upper_x = f.XOf(r.zdcc_upper);
  const double band_left = f.lower_x.value_or(f.plot.left());
  const double band_right = f.upper_x.value_or(f.plot.right());
  f.band = QRectF(QPointF(band_left, f.plot.top()), QPointF(band_right, f.plot.bottom()));
  f.identity = IdentityLine(a, decimal_separator, report_number, f.identity_pixels);
  f.title = TitleLines(a);
  f.legend = LegendLines(a, decimal_separator);
  f.legend_pixels = FittingPixels(f.legend, kTextPixels, kFigureWidth - kLegendTextLeft - 4);
  LayOutTicks(f, decimal_separator);
  return f;
}

void PaintFigure(QPainter& painter, const QRectF& area, const tAnalysis& a, char sep,
                 int report_number) {
  const tFigureLayout f = LayOutFigure(a, sep, report_number);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.translate(area.topLeft());
  painter.scale(area.width() / kFigureWidth, area.height() / kFigureHeight);
  painter.fillRect(QRectF(0, 0, kFigureWidth, kFigureHeight), Qt::white);

  // Whose figure, then the title.
  painter.setPen(Qt::black);
  painter.setFont(FigureFont(f.identity_pixels, true));
  painter.drawText(QRectF(0, 4, kFigureWidth, 20), Qt::AlignCenter, f.identity);
  painter.setFont(FigureFont(kTextPixels + 1, true));
  painter.drawText(QRectF(0, 24, kFigureWidth, 20), Qt::AlignCenter, f.title.value(0));
  painter.setFont(FigureFont(kTextPixels));
  painter.drawText(QRectF(0, 42, kFigureWidth, 20), Qt::AlignCenter, f.title.value(1));

  painter.save();
  painter.setClipRect(f.plot);
  // The credible region: a pale band with diagonal hatching.
  painter.fillRect(f.band, kBandFill);
  painter.fillRect(f.band, QBrush(QColor(110, 110, 110), Qt::BDiagPattern));

  // The density as a filled step outline over the bins.
  const tDrawSummary& d = a.draws;
  if (!d.Empty()) {
    const double total = static_cast<double>(d.Total());
    QPainterPath outline;
    outline.moveTo(f.XOf(d.low), f.plot.bottom());
    for (std::size_t k = 0; k < d.counts.size(); ++k) {
      const double y = f.YOf(d.counts[k] / (total * static_cast<double>(d.bin_width)));
      outline.lineTo(f.XOf(d.low + d.bin_width * k), y);
      outline.lineTo(f.XOf(d.low + d.bin_width * (k + 1)), y);
    }
    outline.lineTo(f.XOf(d.High()), f.plot.bottom());
    outline.closeSubpath();
    QColor fill = kDensityFill;
    fill.setAlpha(200);  // the hatching shows through inside the band
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill);
    painter.drawPath(outline);
    painter.setBrush(Qt::NoBrush);
  }

  // The limits dashed, the point estimate solid and heavier.
  painter.setPen(QPen(Qt::black, 1.6, Qt::DashLine, Qt::FlatCap));
  for (const std::optional<double>& x : {f.lower_x, f.upper_x})
    if (x) painter.drawLine(QPointF(*x, f.plot.top()), QPointF(*x, f.plot.bottom()));
  painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(QPointF(f.estimate_x, f.plot.top()), QPointF(f.estimate_x, f.plot.bottom()));
  painter.restore();

  // Axes: the box, x ticks with their values, the captions.
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(f.plot);
  painter.setFont(FigureFont(kTextPixels));
  const QFontMetricsF metrics(painter.font());
  for (const auto& [x, label] : f.ticks) {
    painter.drawLine(QPointF(x, f.plot.bottom()), QPointF(x, f.plot.bottom() + 5));
    const double w = metrics.horizontalAdvance(label);
    painter.drawText(QPointF(x - w / 2, f.plot.bottom() + 8 + metrics.ascent()), label);
  }
  painter.drawText(QRectF(f.plot.left(), f.plot.bottom() + 24, f.plot.width(), 20), Qt::AlignCenter,
                   f.axis_caption);
  painter.save();
  painter.translate(kMarginLeft - 16, f.plot.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-f.plot.height() / 2, -16, f.plot.height(), 20), Qt::AlignCenter,
                   QStringLiteral("Posterior density"));
  painter.restore();

  // Legend: a sample of each mark, then its words.
  const double sample_left = kMarginLeft;
  const double text_left = kLegendTextLeft;
  painter.setFont(FigureFont(f.legend_pixels));
  const QFontMetricsF legend_metrics(painter.font());
  for (int i = 0; i < f.legend.size(); ++i) {
    const double y = kLegendTop + i * kLegendLine;
    const double mid = y + kLegendLine / 2 - 2;
    switch (i) {
      case 0:
        painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(sample_left, mid), QPointF(sample_left + 32, mid));
        break;
      case 1: {
        const QRectF box(sample_left, y + 2, 32, kLegendLine - 8);
        painter.fillRect(box, kBandFill);
        painter.fillRect(box, QBrush(QColor(110, 110, 110), Qt::BDiagPattern));
        painter.setPen(QPen(Qt::black, 1.6, Qt::DashLine, Qt::FlatCap));
        painter.drawLine(box.topLeft(), box.bottomLeft());
        painter.drawLine(box.topRight(), box.bottomRight());
        break;
      }
      default:
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(kDensityFill);
        painter.drawRect(QRectF(sample_left, y + 2, 32, kLegendLine - 8));
        painter.setBrush(Qt::NoBrush);
        break;
    }
    painter.setPen(Qt::black);
    painter.drawText(QPointF(text_left, mid + legend_metrics.ascent() / 2 - 1), f.legend[i]);
  }
  painter.restore();
}

void SaveFigurePng(const QString& file, const tAnalysis& analysis, char decimal_separator,
                   int report_number, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PaintFigure(painter, QRectF(QPointF(0, 0), QSizeF(size)), analysis, decimal_separator,
                report_number);
  }
  if (!image.save(file, "PNG"))
    throw Exception("The figure could not be written to " + file.toStdString());
}

void SaveFigureSvg(const QString& file, const tAnalysis& analysis, char decimal_separator,
                   int report_number) {
  QSvgGenerator svg;
  svg.setFileName(file);
  svg.setSize(QSize(kFigureWidth, kFigureHeight));
  svg.setViewBox(QRect(0, 0, kFigureWidth, kFigureHeight));
  svg.setTitle(QStringLiteral("Posterior distribution of Z-DCC"));
  QPainter painter;
  if (!painter.begin(&svg))
    throw Exception("The figure could not be written to " + file.toStdString());
  PaintFigure(painter, QRectF(0, 0, kFigureWidth, kFigureHeight), analysis, decimal_separator,
              report_number);
  painter.end();
}

tFigureView::tFigureView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("FigureView"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void tFigureView::SetAnalysis(const tAnalysis& analysis, char decimal_separator,
                              int report_number) {
  analysis_ = analysis;
  separator_ = decimal_separator;
  report_number_ = report_number;
  // What the picture says, for a screen reader: whose figure it is, its
  // title and its legend with the report's numbers.
  const tFigureLayout layout = LayOutFigure(analysis, decimal_separator, report_number);
  setAccessibleDescription(layout.identity + QLatin1Char('\n') +
                           layout.title.join(QLatin1Char('\n')) + QLatin1Char('\n') +
                           layout.legend.join(QLatin1Char('\n')));
  update();
}

void tFigureView::Clear() {
  analysis_.reset();
  setAccessibleDescription(QString());
  update();
}

void tFigureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (!analysis_) return;
  // The canvas's proportions, as large as the widget allows.
  QSizeF size(kFigureWidth, kFigureHeight);
  size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
  const QRectF area(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
  PaintFigure(painter, area, *analysis_, separator_, report_number_);
}
