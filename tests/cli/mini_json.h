// A small JSON reader for the tests of --json: objects, arrays, strings with
// their escapes, numbers (kept as their text) and null.  Throws
// std::runtime_error on anything malformed, so a parse is also a syntax check.
#pragma once

#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

struct tJson {
  enum class tKind { Null, Number, String, Array, Object } kind = tKind::Null;
  std::string text;  // a number's text, or a string's value
  std::vector<tJson> items;
  std::map<std::string, tJson> members;

  const tJson& operator[](const std::string& key) const {
    auto found = members.find(key);
    if (found == members.end()) throw std::runtime_error("JSON: no member " + key);
    return found->second;
  }
};

class tJsonReader {
 public:
  explicit tJsonReader(const std::string& text) : s_(text) {}

  tJson ReadDocument() {
    tJson value = ReadValue();
    if (Next() != '\0') Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(i_));
  }
  // The next character after blanks, not consumed; '\0' at the end.
  char Next() {
    while (i_ < s_.size() && std::string(" \t\r\n").find(s_[i_]) != std::string::npos)
      ++i_;
    return i_ < s_.size() ? s_[i_] : '\0';
  }
  void Expect(char c) {
    if (Next() != c) Fail(std::string("expected ") + c);
    ++i_;
  }

  std::string ReadString() {
    Expect('"');
    std::string out;
    for (char c; (c = i_ < s_.size() ? s_[i_++] : '\0') != '"';) {
      if (static_cast<unsigned char>(c) < 0x20) Fail("unterminated string or control character");
      if (c != '\\') {
        out += c;
        continue;
      }
      char e = i_ < s_.size() ? s_[i_++] : '\0';
      const std::string plain = "\"\\/", named = "bfnrt", meant = "\b\f\n\r\t";
      if (plain.find(e) != std::string::npos) {
        out += e;
      } else if (named.find(e) != std::string::npos) {
        out += meant[named.find(e)];
      } else if (e == 'u' && i_ + 4 <= s_.size()) {
        unsigned code = std::stoul(s_.substr(i_, 4), nullptr, 16);
        i_ += 4;
        if (code < 0x80) {
          out += static_cast<char>(code);
        } else if (code < 0x800) {
          out += static_cast<char>(0xC0 | (code >> 6));
          out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
          out += static_cast<char>(0xE0 | (code >> 12));
          out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
          out += static_cast<char>(0x80 | (code & 0x3F));
        }
      } else {
        Fail("bad escape");
      }
    }
    return out;
  }

  tJson ReadValue() {
    tJson v;
    char c = Next();
    if (c == '{' || c == '[') {
      v.kind = c == '{' ? tJson::tKind::Object : tJson::tKind::Array;
      const char close = c == '{' ? '}' : ']';
      ++i_;
      if (Next() == close) {
        ++i_;
        return v;
      }
      while (true) {
        if (v.kind == tJson::tKind::Array) {
          v.items.push_back(ReadValue());
        } else {
          std::string key = ReadString();
          Expect(':');
          if (!v.members.emplace(key, ReadValue()).second) Fail("duplicate member " + key);
        }
        if (Next() != ',') break;
        ++i_;
      }
      Expect(close);
    } else if (c == '"') {
      v.kind = tJson::tKind::String;
      v.text = ReadString();
    } else if (s_.compare(i_, 4, "null") == 0) {
      i_ += 4;
    } else {
      static const std::regex number("-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?");
      std::smatch match;
      std::string rest = s_.substr(i_, 64);
      if (!std::regex_search(rest, match, number, std::regex_constants::match_continuous))
        Fail("bad value");
      v.kind = tJson::tKind::Number;
      v.text = match.str();
      i_ += v.text.size();
    }
    return v;
  }

  const std::string& s_;
  std::size_t i_ = 0;
};
