// Stand-ins for the save dialog and the printer, so the viewer's handlers run
// without anyone at the screen and print into PDF files a test can read.
#pragma once

#include <QPrinter>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/compute_driver.h"
#include "numeric/errors.h"
#include "results/print_document.h"
#include "results/results_file.h"

// Answers each run of the dialog from a script (cancel when it runs out) and
// records the name it was asked to propose.
class tScriptedSaveDialog : public tSaveFileDialog {
 public:
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> proposals;
  std::function<void()> before_answer;  // e.g. to throw from inside the dialog

  std::optional<std::string> ChooseFile(const std::string& proposed_name) override {
    proposals.push_back(proposed_name);
    if (before_answer) before_answer();
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// A "default printer" that writes each document to a PDF file, or that is
// missing altogether, or whose print system turns the finished job away.
class tPdfPrinterProvider : public tPrinterProvider {
 public:
  std::string output_file;  // where documents go; a bad path refuses them
  bool no_printer = false;
  std::string refusal;  // when set, the reason a finished job is refused
  int documents_started = 0;
  int documents_released = 0;

  void Release(QPagedPaintDevice&) override {
    if (!refusal.empty()) throw Exception(refusal);
    ++documents_released;
  }

  std::unique_ptr<QPagedPaintDevice> DefaultPrinter() override {
    if (no_printer) throw Exception("There is no default printer currently selected");
    ++documents_started;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(output_file));
    printer->setFullPage(false);
    return printer;
  }
};

// A finished analysis of the worked example with round results; the report
// writer needs no engine run for it.
inline tAnalysis SampleAnalysis(tLimits limits = tLimits::TwoSided) {
  tAnalysis a;
  a.request.mean_x = 100;
  a.request.sd_x = 15;
  a.request.mean_y = 50;
  a.request.sd_y = 10;
  a.request.r = 0.6L;
  a.request.n = 20;
  a.request.case_x = 70;
  a.request.case_y = 55;
  a.request.options.limits = limits;
  a.z_x = -2;
  a.z_y = 0.5L;
  a.results = {0.00819L, 0.01639L, 0.819L, 0.008L, 4.468L, -2.795L, -3.788L, -1.699L};
  return a;
}
