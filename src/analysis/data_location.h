// Where the control-sample data file is kept.
//
// A copy of Quorrel run from its build folder, or from a folder the user
// unpacked it into, keeps "quorreldata.txt" beside the program.
// An installed copy (its executable in the folder it was built to be
// installed in, or in one of the system's program folders) keeps it in the
// user's own data folder, $XDG_DATA_HOME/quorrel (~/.local/share/quorrel
// by default), so that it never writes into a system folder and two users
// never share one file.  The decision rests on where the program is, never
// on whether that folder happens to be writable.
#pragma once

#include <string>

// The folder the program was built to be installed in
// (CMAKE_INSTALL_FULL_BINDIR of the build).
extern const char* const kInstallBinFolder;

// The name of the program's folder inside the user's data folder.
inline constexpr const char* kUserDataFolderName = "quorrel";

struct tDataLocation {
  // The folder that holds the data file.
  std::string folder;
  // True for an installed copy: `folder` is the user's own.
  bool installed = false;
  // Installed copy only: the program's folder, where an earlier (portable)
  // copy may have left a data file to be read once.
  std::string earlier_folder;
};

// True when `program_folder` is where an installed copy runs from: the
// folder `install_bin_folder` the program was built for, or one of the
// system's program folders (/usr/bin, /usr/local/bin, /bin, ...); also when
// the program's folder is unknown (empty), so that nothing is written into
// an unknown place.  Links are resolved where the folders exist.
bool IsInstalledProgramFolder(const std::string& program_folder,
                              const std::string& install_bin_folder);

// The location for a program in `program_folder` built for
// `install_bin_folder`; `user_data_home` is the user's data folder
// ($XDG_DATA_HOME, by default ~/.local/share).
tDataLocation ChooseDataLocation(const std::string& program_folder,
                                 const std::string& install_bin_folder,
                                 const std::string& user_data_home);

// The user's data folder by the XDG rules: `xdg_data_home` when it is an
// absolute path (a relative one is ignored), otherwise `home`/.local/share,
// with `home` the HOME variable when it is an absolute path and otherwise
// `account_home`, the home folder of the user's account.  Empty when none
// is known.  Null pointers stand for unset variables.
std::string UserDataHomeFrom(const char* xdg_data_home, const char* home,
                             const std::string& account_home);

// The same for this process: its environment and its user's account.
std::string UserDataHome();

// Creates `folder` and its missing parents, each readable by its owner
// only.  Throws the input/output error of the first one that cannot be made,
// with its path and the system's reason ("File access denied:
// /home/ann/.local/share/quorrel (Permission denied)").
void MakeDataFolder(const std::string& folder);

// Makes an installed copy's folder ready at start-up: when the user's
// folder does not exist yet, it is created (readable by its owner only),
// and a readable data file found in `earlier_folder` is copied into it
// unchanged, so it is read this once and never again (after Clear Data the
// next start is empty).  Nothing is done for a portable copy.  Failures are
// silent: the next Compute reports its own.
void PrepareDataFolder(const tDataLocation& location);
