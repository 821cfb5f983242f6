// The updater stub as the engine carries it: the program in the LZ format.
#pragma once

#include <string_view>

namespace kavrel::resources {

// The packed stub's bytes; empty when the program carries none.
std::string_view StubResource();

}  // namespace kavrel::resources
