// Printing the viewer's text: the default printer behind a small interface,
// and the painting of laid-out text onto any paged device.
#pragma once

#include <QString>
#include <memory>

#include "results/print_layout.h"

class QFont;
class QPagedPaintDevice;
class QPainter;
class QTemporaryDir;

// Where printed documents go.
class tPrinterProvider {
 public:
  virtual ~tPrinterProvider() = default;
  // A device for a new document on the current (default) printer, without
  // asking the user anything.  Throws an `Exception` when there is none.
  virtual std::unique_ptr<QPagedPaintDevice> DefaultPrinter() = 0;
  // Hands the document finished on `device` to the printer.  Throws an
  // `Exception` when the printer refuses it.  A device that prints as it is
  // painted needs nothing more.
  virtual void Release(QPagedPaintDevice& device) { static_cast<void>(device); }
};

// The system's default printer through Qt Print Support.  The page is set up
// for that printer, but the document is written to a spool file and handed to
// the print system with its client `lp`, because Qt drops the print system's
// answer: a printer that refuses the job would otherwise go unreported.  Where
// `lp` is not installed Qt submits the job itself.
class tSystemPrinterProvider : public tPrinterProvider {
 public:
  explicit tSystemPrinterProvider(QString document_name = QStringLiteral("Quorrel results"));
  ~tSystemPrinterProvider() override;
  // Throws "There is no default printer currently selected" when no printer
  // is installed or none is the default.
  std::unique_ptr<QPagedPaintDevice> DefaultPrinter() override;
  // Submits the spooled document; throws when the print system refuses it.
  void Release(QPagedPaintDevice& device) override;

 private:
  QString document_name_;
  QString printer_name_;                  // where the current document goes
  std::unique_ptr<QTemporaryDir> spool_;  // holds it until it is submitted
};

// Submits the PDF file `file` to the print system's printer `printer` as a
// job named `title`, through the command-line client `client` (normally
// "lp").  Throws an `Exception` with the print system's own explanation when
// the job is not accepted, or when the client cannot be run.
void SubmitPrintJob(const QString& client, const QString& printer, const QString& title,
                    const QString& file);

// The printer font: Courier New (or the closest monospace face), 8 points.
QFont PrinterFont();

// The layout measures of `font` on `device`, in device pixels.
tPrintMetrics PrintMetricsFor(const QFont& font, QPagedPaintDevice& device);

// Paints the runs of one laid-out page in `painter`'s current font, `ascent`
// being that font's ascent on the device.
void PaintPrintedPage(QPainter& painter, const tPrintedPage& page, int ascent);

// Prints `stream` as one document on `device` in the printer font, black,
// laid out by `LayOutPrintText` over the device's printable area.  Throws an
// `Exception` when the device refuses the document or a page, or reports an
// error once the document is released.
void PrintTextDocument(QPagedPaintDevice& device, const QString& stream);
