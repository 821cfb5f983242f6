// Base64 of a text, for the credentials of an HTTP Basic "Authorization"
// header. There is no decoder: the engine only ever sends credentials.
#pragma once

#include <string>
#include <string_view>

namespace kavrel {

// Standard padded Base64 (A-Z a-z 0-9 + /, "=" padding, no line breaks) of the
// low byte of every UTF-16 code unit of a UTF-8 text: characters up to U+00FF
// give their Latin-1 byte, higher ones lose their high byte, and a character
// above U+FFFF gives the low bytes of its two surrogates. A byte that does not
// belong to a well-formed UTF-8 sequence counts as one unit of that value.
std::string Base64Encode(std::string_view Text);

}  // namespace kavrel
