// The engine's numbered message texts: its whole vocabulary of status messages
// and questions. Each text has at most one "%s", which receives an argument.
#pragma once

#include <string_view>

namespace kavrel {

// The text of a message number; empty for a number without text.
std::string_view StatusMessageText(int ident);

}  // namespace kavrel
