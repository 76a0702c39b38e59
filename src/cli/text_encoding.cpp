#include "cli/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::size_t kChunk = 16 * 1024;

// Windows-1252's bytes 0x80 to 0x9F; the five it leaves undefined become
// U+FFFD.  Bytes below 0x80 are ASCII, 0xA0 and above are U+00A0 to U+00FF.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

const char kReplacement[] = "\xEF\xBF\xBD";

}  // namespace

std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool IsValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string ValidUtf8(const std::string& text) {
  std::string valid;
  valid.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      valid += kReplacement;
      ++i;
    } else {
      valid.append(text, i, length);
      i += length;
    }
  }
  return valid;
}

bool ParseEncoding(const std::string& name, tEncoding& encoding) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (lower == "utf-8" || lower == "utf8") {
    encoding = tEncoding::Utf8;
  } else if (lower == "cp1252" || lower == "windows-1252") {
    encoding = tEncoding::Cp1252;
  } else {
    return false;
  }
  return true;
}

tDecodingSource::tDecodingSource(tByteSource& inner, tEncoding encoding)
    : inner_(inner), encoding_(encoding) {}

std::string tDecodingSource::Failure() const {
  return failure_.empty() ? inner_.Failure() : failure_;
}

void tDecodingSource::AppendCodePoint(char32_t code) {
  if (code < 0x80) {
    pending_ += static_cast<char>(code);
  } else if (code < 0x800) {
    pending_ += static_cast<char>(0xC0 | (code >> 6));
    pending_ += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    pending_ += static_cast<char>(0xE0 | (code >> 12));
    pending_ += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    pending_ += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    pending_ += static_cast<char>(0xF0 | (code >> 18));
    pending_ += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    pending_ += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    pending_ += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void tDecodingSource::Decide() {
  // Enough of the start to see a byte order mark: what the first reads
  // give, so that a pipe's first row is not kept waiting for more.
  while (raw_.size() < 2 && !ended_) {
    char chunk[kChunk];
    const std::size_t got = inner_.Read(chunk, sizeof chunk);
    if (got == 0) ended_ = true;
    raw_.append(chunk, got);
  }
  if (raw_.compare(0, 2, "\xFF\xFE") == 0) {
    form_ = tForm::Utf16Le;
    raw_.erase(0, 2);
  } else if (raw_.compare(0, 2, "\xFE\xFF") == 0) {
    form_ = tForm::Utf16Be;
    raw_.erase(0, 2);
  } else if (raw_.find('\0') != std::string::npos) {
    failure_ =
        "the batch file holds NUL bytes: it is not a text file, or it is UTF-16 without a byte "
        "order mark; save it as \"CSV (comma-separated values)\" or \"Text CSV\" in UTF-8";
    form_ = tForm::Utf8;
  } else {
    form_ = encoding_ == tEncoding::Cp1252 && raw_.compare(0, 3, "\xEF\xBB\xBF") != 0
                ? tForm::Cp1252
                : tForm::Utf8;
  }
}

void tDecodingSource::DecodeUtf16(bool flush) {
  const bool little = form_ == tForm::Utf16Le;
  auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(raw_[i]);
    const auto b = static_cast<unsigned char>(raw_[i + 1]);
    return little ? static_cast<char32_t>(a | (b << 8)) : static_cast<char32_t>((a << 8) | b);
  };
  std::size_t i = 0;
  while (i + 2 <= raw_.size()) {
    const char32_t first = unit(i);
    if (first >= 0xD800 && first <= 0xDBFF) {
      if (i + 4 > raw_.size() && !flush) break;  // the pair's second half is still to come
      if (i + 4 <= raw_.size()) {
        const char32_t second = unit(i + 2);
        if (second >= 0xDC00 && second <= 0xDFFF) {
          AppendCodePoint(0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
          i += 4;
          continue;
        }
      }
      AppendCodePoint(0xFFFD);
    } else if (first >= 0xDC00 && first <= 0xDFFF) {
      AppendCodePoint(0xFFFD);
    } else {
      AppendCodePoint(first);
    }
    i += 2;
  }
  raw_.erase(0, i);
  if (flush && !raw_.empty()) {  // an odd last byte
    AppendCodePoint(0xFFFD);
    raw_.clear();
  }
}

bool tDecodingSource::Fill() {
  if (form_ == tForm::Unknown) Decide();
  if (!failure_.empty()) return false;
  if (!ended_) {
    // After what is left of a UTF-16 unit or pair, if anything.
    const std::size_t kept = raw_.size();
    raw_.resize(kept + kChunk);
    const std::size_t got = inner_.Read(raw_.data() + kept, kChunk);
    raw_.resize(kept + got);
    if (got == 0) ended_ = true;
  }
  pending_.clear();
  handed_ = 0;
  switch (form_) {
    case tForm::Utf16Le:
    case tForm::Utf16Be:
      DecodeUtf16(ended_);
      break;
    case tForm::Cp1252:
      for (char c : raw_) {
        const auto byte = static_cast<unsigned char>(c);
        AppendCodePoint(byte < 0x80   ? byte
                        : byte < 0xA0 ? kCp1252High[byte - 0x80]
                                      : static_cast<char32_t>(byte));
      }
      raw_.clear();
      break;
    default:
      pending_.swap(raw_);
      raw_.clear();
      break;
  }
  return !pending_.empty() || !ended_;
}

std::size_t tDecodingSource::Read(char* buffer, std::size_t size) {
  while (handed_ == pending_.size()) {
    if (!Fill()) return 0;
  }
  const std::size_t count = std::min(size, pending_.size() - handed_);
  std::memcpy(buffer, pending_.data() + handed_, count);
  handed_ += count;
  return count;
}
