#include "analysis/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>

#include "analysis/Metrics_Papers.h"
#include "analysis/file_replace.h"
#include "analysis/io_error.h"
#include "analysis/text_format.h"

const char* const kDataFileName = "quorreldata.txt";

std::string DataFileName = kDataFileName;

namespace {

// The values restored at start-up: the control sample's six statistics.
constexpr int kValuesRestored = 6;
// The longest token the reader collects.
constexpr std::size_t kMaxTokenLength = 64;
// A character of this code ends the file's text.
constexpr int kEndOfText = 26;
// The reader reads no further than this: a data file holds eight short
// texts, and a huge file in its place (of blanks, say) must not hold up
// the start.  What lies beyond counts as the end of the text.
constexpr long kMaxBytesRead = 1 << 20;

// Takes the number reader's messages and shows none.
class tSilentSink : public tMessageSink {
 public:
  void ShowWarning(const std::string&) override {}
  void Beep() override {}
};

// True when the worksheet's number reader accepts `text`.
bool ReadsAsNumber(const std::string& text, double& value) {
  tSilentSink silent;
  value = ReadNumber(text, std::string(), silent);
  return !InputError;
}

bool IsSeparator(int c) {
  return c >= 0 && c <= 32;
}

// True when `token` is an optional sign, digits with an optional point and
// fraction (at least one digit in all), and an optional exponent.
bool IsDecimalNumber(const std::string& token) {
  std::size_t i = 0;
  auto digits = [&]() {
    std::size_t start = i;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9')
      ++i;
    return i - start;
  };
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
  std::size_t mantissa_digits = digits();
  if (i < token.size() && token[i] == '.') {
    ++i;
    mantissa_digits += digits();
  }
  if (mantissa_digits == 0) return false;
  if (i < token.size() && (token[i] == 'E' || token[i] == 'e')) {
    ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == token.size();
}

struct tFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The characters of an open data file.
class tFileCharacters {
 public:
  explicit tFileCharacters(std::FILE* file) : file_(file) {}
  int Get() {
    int c = std::getc(file_);
    if (c == EOF && std::ferror(file_)) throw EInOutError::FromErrno(errno != 0 ? errno : EIO);
    return c;
  }

 private:
  std::FILE* file_;
};

// The characters of a data file's text held in memory.
class tTextCharacters {
 public:
  explicit tTextCharacters(const std::string& text) : text_(text) {}
  int Get() { return next_ < text_.size() ? static_cast<unsigned char>(text_[next_++]) : EOF; }

 private:
  const std::string& text_;
  std::size_t next_ = 0;
};

// Reads the data file's blank-separated numbers from `tCharacters`.
template <class tCharacters>
class tNumberReader {
 public:
  explicit tNumberReader(tCharacters characters) : characters_(characters) {}

  // The next number, and in `token` its text; 0 (and no text) once the
  // text has ended.
  tReal Next(std::string& token) {
    token.clear();
    int c = Get();
    while (c != EOF && IsSeparator(c)) {
      if (c == kEndOfText) {
        ended_ = true;
        return 0;
      }
      c = Get();
    }
    if (c == EOF) return 0;
    token.assign(1, static_cast<char>(c));
    while (true) {
      c = Get();
      if (c == EOF || IsSeparator(c)) break;
      // A token longer than the reader takes is no number it can convert.
      if (token.size() == kMaxTokenLength) throw EInOutError::InvalidNumericInput();
      token.push_back(static_cast<char>(c));
    }
    if (c == kEndOfText) ended_ = true;
    if (!IsDecimalNumber(token)) throw EInOutError::InvalidNumericInput();
    std::size_t end = 0;
    bool overflow = false;
    tReal value = ParseInCLocale(token, end, overflow);
    if (overflow || end != token.size()) throw EInOutError::InvalidNumericInput();
    return value;
  }

 private:
  int Get() {
    if (ended_ || read_ == kMaxBytesRead) return EOF;
    ++read_;
    return characters_.Get();
  }

  tCharacters characters_;
  bool ended_ = false;
  long read_ = 0;
};

// Hands the first six values of `reader` to `fill`.
template <class tCharacters>
void RestoreValues(tNumberReader<tCharacters> reader,
                   const std::function<void(int position, const std::string& text)>& fill) {
  std::string token;
  for (int position = 0; position < kValuesRestored; ++position) {
    const tReal value = reader.Next(token);
    fill(position, RestoredText(token, value));
  }
}

}  // namespace

#ifdef _WIN32
// The file's folder and name are joined with the platform's separator.
constexpr char kPathSeparator = '\\';
// The data file is opened for reading only, its bytes untranslated (Windows
// has no non-blocking opens of files, and its descriptors are not inherited
// by the programs a process starts unless asked for).
constexpr int kReadFlags = O_RDONLY | O_BINARY;
#else
constexpr char kPathSeparator = '/';
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

std::string GetProgramPath() {
#ifdef _WIN32
  // The executable's full path, in the code page the C library's file
  // functions take.
  std::string path(32768, '\0');
  const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return std::string();
  path.resize(length);
  const std::size_t slash = path.find_last_of("\\/");
#else
  std::string path(4096, '\0');
  ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return std::string();
  path.resize(static_cast<std::size_t>(length));
  std::size_t slash = path.rfind('/');
#endif
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash);
}

std::string DataFilePath(const std::string& folder) {
  return folder + kPathSeparator + DataFileName;
}

std::string DataFileText(const std::array<std::string, 8>& texts) {
  std::string bytes;
  for (const std::string& text : texts) {
    // Blanks separate the file's values, so a blank inside a text (which the
    // number reader skips) would split it into two values when read back.
    std::string value;
    bool has_digit = false;
    for (char c : text) {
      if (IsSeparator(static_cast<unsigned char>(c))) continue;
      value.push_back(c);
      has_digit = has_digit || (c >= '0' && c <= '9');
    }
    // A text without a digit ("-", ".", only blanks) is read as 0 by the
    // number reader.  Written as it stands it would either vanish, moving
    // every later value one field forward at the next start, or be a token
    // the file reader refuses; "0" keeps the value the analysis ran with.
    bytes += has_digit ? value : std::string(1, '0');
    bytes.push_back(' ');
  }
  return bytes;
}

void SaveCurrentData(const std::string& folder, const std::array<std::string, 8>& texts) {
  const std::string bytes = DataFileText(texts);
  // The new file is written beside the old one and then put in its place in
  // one step (file_replace.h), so a failed write (a full disk, say) never
  // leaves a truncated file and never loses the previous one.
  tReplaceOptions options;
  options.remove_old_style_temporaries = true;
  try {
    ReplaceFileWhole(DataFilePath(folder), bytes, options);
  } catch (const EInOutError& e) {
    throw e.At(DataFilePath(folder));
  }
}

void LoadPreviousData(const std::string& folder,
                      const std::function<void(int position, const std::string& text)>& fill) {
  const std::string path = DataFilePath(folder);
  // Opened without blocking and checked before anything is read: only a
  // regular file is read.  A folder, a pipe with no writer (which would block
  // the start-up for ever) or a device such as an endless source of zeros
  // in its place is refused like a file that cannot be opened.
  int fd = ::open(path.c_str(), kReadFlags);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return;  // no file: nothing to restore
    throw EInOutError::FromErrno(errno).At(path);
  }
  struct stat info {};
  int err = ::fstat(fd, &info) != 0 ? errno
            : S_ISDIR(info.st_mode) ? EISDIR
            : S_ISREG(info.st_mode) ? 0
                                    : EACCES;
  if (err != 0) {
    ::close(fd);
    throw EInOutError::FromErrno(err).At(path);
  }
  std::unique_ptr<std::FILE, tFileCloser> file(::fdopen(fd, "rb"));
  if (!file) {
    err = errno;
    ::close(fd);
    throw EInOutError::FromErrno(err).At(path);
  }
  RestoreValues(tNumberReader(tFileCharacters(file.get())), fill);
}

void ReadDataFileText(const std::string& text,
                      const std::function<void(int position, const std::string& text)>& fill) {
  RestoreValues(tNumberReader(tTextCharacters(text)), fill);
}

void DeleteDataFile(const std::string& folder) {
  ::unlink(DataFilePath(folder).c_str());
}

std::string RestoredText(const std::string& token, tReal value) {
  const std::string formatted = FormatRestoredValue(value);
  double typed = 0, shown = 0;
  const bool token_reads = !token.empty() && ReadsAsNumber(token, typed);
  const bool formatted_fits = formatted.size() <= MaxInputLength && ReadsAsNumber(formatted, shown);
  if (formatted_fits && (!token_reads || shown == typed)) return formatted;
  return token_reads ? token : formatted;
}

std::string FormatRestoredValue(tReal value) {
  if (value == 0 || real_math::isnan(value)) return "0";
  if (real_math::isinf(value)) return value < 0 ? "-INF" : "INF";
  // Six significant digits, rounded once: "d.dddddE±x".
  std::string scientific = FormatScientific(value, 5);
  std::string sign;
  std::size_t i = 0;
  if (scientific[0] == '-') {
    sign = "-";
    i = 1;
  }
  std::string digits;
  for (; i < scientific.size() && scientific[i] != 'e'; ++i) {
    if (scientific[i] != '.') digits.push_back(scientific[i]);
  }
  int exponent = std::stoi(scientific.substr(i + 1));
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();

  if (exponent >= -4 && exponent < 6) {
    if (exponent < 0) return sign + "0." + std::string(-exponent - 1, '0') + digits;
    std::size_t whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) return sign + digits + std::string(whole - digits.size(), '0');
    return sign + digits.substr(0, whole) + "." + digits.substr(whole);
  }
  std::string text = sign;
  text += digits[0];
  if (digits.size() > 1) {
    text += '.';
    text.append(digits, 1);
  }
  text += 'E';
  text += std::to_string(exponent);
  return text;
}
