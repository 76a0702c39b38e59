// The encodings of a batch file and of the command line's output.  A batch
// file is read as UTF-8 unless it begins with a UTF-16 byte order mark
// (what spreadsheets write for "Unicode text") or the user names
// Windows-1252; either is turned into UTF-8 as it is read, so that the CSV
// reader and everything after it see UTF-8 only.  What the program writes
// is always valid UTF-8.
#pragma once

#include <cstddef>
#include <string>

#include "cli/csv_reader.h"

// The length of the well-formed UTF-8 sequence at text[i], or 0 when the
// byte there does not begin one (overlong forms, surrogates and code
// points above U+10FFFF are not well formed).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i);

bool IsValidUtf8(const std::string& text);

// `text` with every byte that does not belong to a well-formed UTF-8
// sequence replaced by U+FFFD.
std::string ValidUtf8(const std::string& text);

enum class tEncoding { Utf8, Cp1252 };

// --encoding's names: "utf-8" and "cp1252" (also "windows-1252"), in any case.
bool ParseEncoding(const std::string& name, tEncoding& encoding);

// The bytes of `inner` in UTF-8.  At the very start, a UTF-16 byte order
// mark (FF FE or FE FF) means UTF-16, whatever `encoding` says; a UTF-8 one
// is passed on (the CSV reader skips it).  Otherwise the bytes are taken as
// `encoding`: UTF-8 is passed on unchanged, Windows-1252 is translated
// byte by byte.  A file that holds NUL bytes near its start without a UTF-16
// byte order mark fails with a message that says how to save it.
class tDecodingSource : public tByteSource {
 public:
  tDecodingSource(tByteSource& inner, tEncoding encoding);
  std::size_t Read(char* buffer, std::size_t size) override;
  std::string Failure() const override;

 private:
  enum class tForm { Unknown, Utf8, Cp1252, Utf16Le, Utf16Be };
  bool Fill();  // decodes more of `inner` into pending_; false at the end
  void Decide();
  void DecodeUtf16(bool flush);
  void AppendCodePoint(char32_t code);

  tByteSource& inner_;
  tEncoding encoding_;
  tForm form_ = tForm::Unknown;
  std::string raw_;      // bytes read but not yet decoded
  std::string pending_;  // decoded bytes not yet handed out
  std::size_t handed_ = 0;
  bool ended_ = false;
  std::string failure_;
};
