// Printing the viewer's text: the default printer behind a small interface,
// and the painting of laid-out text onto any paged device.
#pragma once

#include <QString>
#include <memory>

#include "results/print_layout.h"

class QFont;
class QPagedPaintDevice;

// Where printed documents go.
class tPrinterProvider {
 public:
  virtual ~tPrinterProvider() = default;
  // A device for a new document on the current (default) printer, without
  // asking the user anything.  Throws an `Exception` when there is none.
  virtual std::unique_ptr<QPagedPaintDevice> DefaultPrinter() = 0;
};

// The system's default printer through Qt Print Support.
class tSystemPrinterProvider : public tPrinterProvider {
 public:
  explicit tSystemPrinterProvider(QString document_name = QStringLiteral("Quorrel results"));
  // Throws "There is no default printer currently selected" when no printer
  // is installed or none is the default.
  std::unique_ptr<QPagedPaintDevice> DefaultPrinter() override;

 private:
  QString document_name_;
};

// The printer font: Courier New (or the closest monospace face), 8 points.
QFont PrinterFont();

// The layout measures of `font` on `device`, in device pixels.
tPrintMetrics PrintMetricsFor(const QFont& font, QPagedPaintDevice& device);

// Prints `stream` as one document on `device` in the printer font, black,
// laid out by `LayOutPrintText` over the device's printable area.  Throws an
// `Exception` when the device refuses the document or a page, or reports an
// error once the document is released.
void PrintTextDocument(QPagedPaintDevice& device, const QString& stream);
