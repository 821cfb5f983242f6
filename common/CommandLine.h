// Command lines in the form programs on every system are given them by
// control files: one text, split into arguments by the Windows rules.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavrel {

// Blanks separate arguments; double quotes group; 2n backslashes before a quote
// give n backslashes and the quote groups, 2n+1 give n backslashes and a
// literal quote; backslashes elsewhere are literal; "" inside quotes is a quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);
// One argument written so that SplitCommandLine gives it back whole: bare
// when it holds no blank and no quote, else in quotes with its quotes and the
// backslashes before them escaped.
std::string QuoteArgument(std::string_view argument);

// The program's name at the start of a command line (quoted, or up to the
// first blank) and the text after it, without the blanks between.
std::pair<std::string, std::string> ProgramAndParameters(std::string_view commandLine);

}  // namespace kavrel
