#include "app/startup.h"

#include <QIcon>
#include <QSettings>
#include <QStandardPaths>

#include "analysis/data_file.h"
#include "analysis/data_location.h"
#include "analysis/decimal_separator.h"
#include "analysis/report.h"
#include "analysis/version.h"
#include "app/qt_dialogs.h"
#include "app/quorrel_application.h"
#include "results/TemplateResults.h"
#include "windows/help.h"
#include "worksheet/difflims_Form.h"

void SetProgramStrings() {
  ProgramTitle = kProgramTitle;
  DataFileName = kDataFileName;
}

std::string StartUpDataFolder() {
  const tDataLocation location =
      ChooseDataLocation(GetProgramPath(), kInstallBinFolder, UserDataHome());
  PrepareDataFolder(location);
  return location.folder;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/quorrel-%1.png").arg(size), QSize(size, size));
  return icon;
}

void SetProgramIdentity() {
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kQuorrelAppId));
  QApplication::setWindowIcon(ProgramIcon());
}

tQuorrelWindows::tQuorrelWindows(tUserDialogs& dialogs, const std::string& data_folder,
                                 char decimal_separator) {
  // The worksheet hands its reports to the viewer, so the viewer object comes
  // first; it stays hidden until the first Compute.
  results_ = std::make_unique<TfrmTemplateResults>(dialogs);
  worksheet_ = std::make_unique<TfrmTemplate>(dialogs, *results_, data_folder, decimal_separator);
  results_->SetWorksheet(worksheet_.get());
  // The viewer offers the worksheet's Help too, at the end of its menu bar.
  AddHelpMenu(results_->menuBar(), results_.get(), data_folder);
}

tQuorrelWindows::~tQuorrelWindows() {
  // The viewer refers to the worksheet; it goes first.
  results_.reset();
  worksheet_.reset();
}

int RunQuorrel(int argc, char** argv) {
  SetProgramStrings();
  TQtUserDialogs dialogs;
  TQuorrelApplication application(argc, argv, dialogs);
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  SetProgramIdentity();
  const char separator = UserDecimalSeparator();
  tQuorrelWindows windows(dialogs, StartUpDataFolder(), separator);
  // The windows' sizes and places, whether the figure is shown and the
  // folder last saved into, per user, where the platform keeps settings
  // (~/.config/quorrel/quorrel.conf).
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("quorrel"),
                     QStringLiteral("quorrel"));
  windows.Worksheet().restoreGeometry(
      settings.value(QStringLiteral("worksheet/geometry")).toByteArray());
  windows.Results().SetSettings(&settings);
  QObject::connect(&application, &QCoreApplication::aboutToQuit, [&windows, &settings] {
    settings.setValue(QStringLiteral("worksheet/geometry"), windows.Worksheet().saveGeometry());
    windows.Results().SaveSettings();
  });
  windows.Worksheet().show();
  return application.exec();
}
