#include "runtime/command_text.h"

namespace slash {

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) {
    if (&argument != &arguments.front()) joined += ' ';
    joined += argument;
  }
  return joined;
}
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::u16string_view TextAfterProgramName(std::u16string_view command_line) {
  std::size_t at = 0;
  if (!command_line.empty() && command_line.front() == u'"') {
    const std::size_t close = command_line.find(u'"', 1);
    at = close == std::u16string_view::npos ? command_line.size() : close + 1;
  } else {
    while (at < command_line.size() && !IsBlank(command_line[at])) ++at;
  }
  while (at < command_line.size() && IsBlank(command_line[at])) ++at;
  return command_line.substr(at);
}

std::u16string_view TextAfterArguments(std::u16string_view command_line, std::size_t skipped) {
  std::u16string_view rest = TextAfterProgramName(command_line);
  for (; skipped > 0 && !rest.empty(); --skipped) {
    std::size_t at = 0;
    bool quoted = false;
    while (at < rest.size() && (quoted || !IsBlank(rest[at]))) {
      std::size_t slashes = 0;
      while (at < rest.size() && rest[at] == u'\\') ++at, ++slashes;
      if (at == rest.size()) break;
      if (rest[at] != u'"') {
        if (slashes == 0) ++at;  // any other character
      } else if (slashes % 2 == 1) {
        ++at;  // an escaped, literal quote
      } else if (quoted && at + 1 < rest.size() && rest[at + 1] == u'"') {
        at += 2;  // "" inside quotes: a literal quote
      } else {
        quoted = !quoted;
        ++at;
      }
    }
    while (at < rest.size() && IsBlank(rest[at])) ++at;
    rest.remove_prefix(at);
  }
  return rest;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit < 0xE000) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace slash
