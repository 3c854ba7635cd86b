#pragma once

#include <map>
#include <string>
#include <vector>

namespace slash::testing {

// A flat JSON object as key -> value text; strings lose their quotes and
// the escapes \" \\ and \uXXXX (below 0x80) are decoded. Throws
// std::runtime_error on anything else, so a malformed line fails the test.
using JsonObject = std::map<std::string, std::string>;

JsonObject ParseFlatJson(const std::string& line);
std::vector<JsonObject> ParseJsonLines(const std::string& text);

}  // namespace slash::testing
