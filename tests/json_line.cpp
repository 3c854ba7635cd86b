#include "json_line.h"

#include <sstream>
#include <stdexcept>

namespace slash::testing {
namespace {

class FlatJsonParser {
 public:
  explicit FlatJsonParser(const std::string& text) : text_(text) {}

  JsonObject Parse() {
    JsonObject object;
    Expect('{');
    while (Peek() != '}') {
      const std::string key = String();
      Expect(':');
      object[key] = Peek() == '"' ? String() : Bare();
      if (Peek() == ',') ++pos_;
    }
    Expect('}');
    if (pos_ != text_.size()) Fail("trailing text");
    return object;
  }

 private:
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected ") + c);
    ++pos_;
  }
  [[noreturn]] void Fail(const std::string& why) const {
    throw std::runtime_error(why + " at " + std::to_string(pos_) + " in " + text_);
  }

  std::string String() {
    Expect('"');
    std::string out;
    while (Peek() != '"') {
      if (pos_ >= text_.size()) Fail("unterminated string");
      char c = text_[pos_++];
      if (c == '\\') {
        c = text_[pos_++];
        if (c == 'u') {
          c = static_cast<char>(std::stoi(text_.substr(pos_, 4), nullptr, 16));
          pos_ += 4;
        } else if (c != '"' && c != '\\') {
          Fail("unexpected escape");
        }
      }
      out += c;
    }
    ++pos_;
    return out;
  }

  std::string Bare() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '}') ++pos_;
    if (pos_ == start) Fail("empty value");
    return text_.substr(start, pos_ - start);
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

}  // namespace

JsonObject ParseFlatJson(const std::string& line) {
  return FlatJsonParser(line).Parse();
}

std::vector<JsonObject> ParseJsonLines(const std::string& text) {
  std::vector<JsonObject> objects;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) objects.push_back(ParseFlatJson(line));
  return objects;
}

}  // namespace slash::testing
