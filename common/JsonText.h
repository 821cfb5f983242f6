// Text as a JSON string, for the machine-readable output of the tools.
#pragma once

#include <string>
#include <string_view>

namespace kavrel {

// `text` quoted and escaped as a JSON string. Bytes that start no well-formed
// UTF-8 sequence become U+FFFD, so that the result is always valid JSON.
std::string JsonText(std::string_view text);

}  // namespace kavrel
