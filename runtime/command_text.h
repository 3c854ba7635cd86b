#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace slash {

// The arguments after the program path, joined with single spaces.
std::string JoinArguments(const std::vector<std::string>& arguments);

// The command-line text as a process on Windows receives it, whole: the
// program name, then the arguments exactly as typed. Returns the text after
// the program name and the blanks that follow it. The name ends, as the
// platform splits it, at the next double quote when it begins with one
// (quotes in a program name are never escaped), else at the first space or
// tab.
std::u16string_view TextAfterProgramName(std::u16string_view command_line);

// The text after the program name and the first `skipped` arguments, as
// the platform splits them (blanks outside double quotes end an argument;
// a quote toggles quoting, and "" inside quotes is a literal quote; 2n
// backslashes before a quote are n and leave the quote to toggle, 2n + 1
// make it literal), without the blanks that follow them.
std::u16string_view TextAfterArguments(std::u16string_view command_line, std::size_t skipped);

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace slash
