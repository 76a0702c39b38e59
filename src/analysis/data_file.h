// The control-sample data file "quorreldata.txt" (in the folder start-up
// chooses, data_location.h): written by every Compute that passes the
// checks, read once at start-up, deleted by Clear Data.  The logic works on
// texts and a folder, never on a window.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "numeric/real.h"

// The data file's name, set once at start-up.
extern std::string DataFileName;  // "quorreldata.txt"

// The file name that start-up puts into DataFileName.
extern const char* const kDataFileName;

// The folder of the running executable, without a trailing separator (empty
// when it cannot be found).
std::string GetProgramPath();

// Folder + separator + DataFileName.
std::string DataFilePath(const std::string& folder);

// Replaces the file with the eight texts, each followed by one space.
// Throws EInOutError when the file cannot be created or written; its
// message names the file and the system's reason.
void SaveCurrentData(const std::string& folder, const std::array<std::string, 8>& texts);

// Reads up to six values and hands each, as RestoredText gives it, to `fill`
// (position 0 to 5) as it is read, so the fields filled before a bad token
// keep their values.  At most the first MiB of the file is read.  No file: nothing happens.  Throws
// EInOutError
// ("Invalid numeric input", "File access denied", ...) after the fields read
// so far were filled.  Never changes the file.
void LoadPreviousData(const std::string& folder,
                      const std::function<void(int position, const std::string& text)>& fill);

// The file's text for the eight texts: what SaveCurrentData writes.
std::string DataFileText(const std::array<std::string, 8>& texts);

// Reads a data file's text held in memory as LoadPreviousData reads the
// file: up to six values, each formatted with "%1.6g", to `fill`; throws
// EInOutError ("Invalid numeric input") after the values read so far.
void ReadDataFileText(const std::string& text,
                      const std::function<void(int position, const std::string& text)>& fill);

// Deletes the file if it exists; reports nothing either way.
void DeleteDataFile(const std::string& folder);

// The text a value read from the file is restored as: its "%1.6g" form
// (FormatRestoredValue) when that is a text the worksheet reads as the same
// number and that fits a field; otherwise the file's own text, which is the
// text the user typed (".00005", not 5E-5, which the worksheet would refuse;
// 0.9999999, not 1, which the correlation check would refuse); the "%1.6g"
// form when the file's text is none the worksheet reads either (an exponent
// written by hand).
std::string RestoredText(const std::string& token, tReal value);

// The "%1.6g" format of restored values, always with ".".
std::string FormatRestoredValue(tReal value);
