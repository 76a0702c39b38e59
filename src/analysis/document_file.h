// Writing a whole document the program made in memory (a PDF) to the name
// the user gave: the same safe replacement as every other file of the
// program, with the few names that are not files handled as such.
#pragma once

#include <string>

// Writes `bytes` to `path`.  A regular file, a new name or a link is
// replaced whole through ReplaceFileWhole (a link is replaced, never written
// through; an earlier file stays as it was when the write fails).  A
// character device or a pipe that exists under `path` (/dev/stdout, a FIFO)
// is written to directly, every write checked.  Anything else (a folder, a
// socket) is refused.  Throws EInOutError whose message reads
// "The <kind> could not be written: <path> (<why>)", with why one of the
// platform's messages ("Disk full", "File access denied", ...).
void WriteDocumentFile(const std::string& path, const std::string& bytes, const std::string& kind);
