// A small JSON reader for the tests of --json: objects, arrays, strings
// (with \uXXXX escapes of the basic plane), numbers kept as their text, true,
// false and null.  Throws std::runtime_error on malformed input.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct tJson {
  enum class tKind { Null, Bool, Number, String, Array, Object } kind = tKind::Null;
  bool boolean = false;
  std::string text;  // a number's text, or a string's value
  std::vector<tJson> items;
  std::map<std::string, tJson> members;

  const tJson& operator[](const std::string& key) const {
    auto found = members.find(key);
    if (kind != tKind::Object || found == members.end()) throw std::runtime_error("no " + key);
    return found->second;
  }
};

class tJsonReader {
 public:
  explicit tJsonReader(const std::string& text) : s_(text) {}

  tJson ReadDocument() {
    tJson value = ReadValue();
    SkipBlanks();
    if (i_ != s_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("JSON: " + what + " at " + std::to_string(i_));
  }
  void SkipBlanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
      ++i_;
  }
  void Expect(char c) {
    SkipBlanks();
    if (i_ >= s_.size() || s_[i_] != c) Fail(std::string("expected ") + c);
    ++i_;
  }
  bool Peek(char c) {
    SkipBlanks();
    return i_ < s_.size() && s_[i_] == c;
  }
  bool Literal(const char* word) {
    std::string w(word);
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }

  std::string ReadString() {
    Expect('"');
    std::string out;
    while (true) {
      if (i_ >= s_.size()) Fail("unterminated string");
      char c = s_[i_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) Fail("control character in string");
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= s_.size()) Fail("bad escape");
      char e = s_[i_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out.push_back(e);
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          if (i_ + 4 > s_.size()) Fail("bad \\u escape");
          unsigned code = std::stoul(s_.substr(i_, 4), nullptr, 16);
          i_ += 4;
          if (code < 0x80) {
            out.push_back(static_cast<char>(code));
          } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
          } else {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
          }
          break;
        }
        default:
          Fail("bad escape");
      }
    }
  }

  tJson ReadValue() {
    SkipBlanks();
    tJson v;
    if (i_ >= s_.size()) Fail("missing value");
    char c = s_[i_];
    if (c == '{') {
      v.kind = tJson::tKind::Object;
      ++i_;
      if (Peek('}')) {
        ++i_;
        return v;
      }
      do {
        std::string key = ReadString();
        Expect(':');
        if (!v.members.emplace(key, ReadValue()).second) Fail("duplicate key " + key);
      } while (Peek(',') && ++i_);
      Expect('}');
    } else if (c == '[') {
      v.kind = tJson::tKind::Array;
      ++i_;
      if (Peek(']')) {
        ++i_;
        return v;
      }
      do {
        v.items.push_back(ReadValue());
      } while (Peek(',') && ++i_);
      Expect(']');
    } else if (c == '"') {
      v.kind = tJson::tKind::String;
      v.text = ReadString();
    } else if (Literal("true")) {
      v.kind = tJson::tKind::Bool;
      v.boolean = true;
    } else if (Literal("false")) {
      v.kind = tJson::tKind::Bool;
    } else if (Literal("null")) {
    } else {
      // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
      std::size_t start = i_;
      auto digits = [&] {
        std::size_t d = i_;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9')
          ++i_;
        return i_ - d;
      };
      if (i_ < s_.size() && s_[i_] == '-') ++i_;
      if (i_ < s_.size() && s_[i_] == '0')
        ++i_;
      else if (digits() == 0)
        Fail("bad number");
      if (i_ < s_.size() && s_[i_] == '.') {
        ++i_;
        if (digits() == 0) Fail("bad fraction");
      }
      if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
        ++i_;
        if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
        if (digits() == 0) Fail("bad exponent");
      }
      v.kind = tJson::tKind::Number;
      v.text = s_.substr(start, i_ - start);
    }
    return v;
  }

  const std::string& s_;
  std::size_t i_ = 0;
};
