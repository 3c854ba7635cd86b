#pragma once

#include <string>
#include <vector>

#include "slash_version.h"

namespace slash {

// The program's version record.
inline constexpr const char* kVersion = SLASH_VERSION;
inline constexpr const char* kDescription = SLASH_DESCRIPTION;

// What --help prints for slash.
std::string SlashHelp();

// What --help prints for slash-trace.
std::string TraceHelp();

// What --version prints for a program of this package.
std::string VersionText(const std::string& program);

// --help and --version count only when one of them is the whole command
// line, so that every other command line keeps its meaning as the effect's.
enum class InfoRequest { kNone, kHelp, kVersion };
InfoRequest FindInfoRequest(const std::vector<std::string>& arguments);

}  // namespace slash
