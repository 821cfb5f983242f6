// Text rules that derive what the engine needs from a location (a URL, an FTP
// file name or a local path). None of them parses a URL in full: they cut at
// fixed characters, so that one text can serve every transport. The local file
// name of a location is TKavrel::FileNameFromURL, because handlers may change it.
#pragma once

#include <string>
#include <string_view>

namespace kavrel {

// The host part, for the caption of the login dialog: the text after the first
// "://" (when there is one), up to the first "/" and then up to the first "\".
// A user:password part and a port stay with it.
std::string HostFromURL(std::string_view URL);

// An http location with "User:Password@" written in front of its host. Only a
// location that starts with "http://" (in any case) and a non-empty user are
// changed; the result starts with "http://" in lower case. Characters that
// cannot stand in a location's credentials (":" in the user, "@", "/", "?",
// "#", "%", blanks and the like) are percent-escaped, so that the server
// receives them as they were given.
std::string AddURLCredentials(std::string_view URL, std::string_view User,
                              std::string_view Password);

// True when `from` is an https location and `to` is not: following it would
// give up the protection the first one had.
bool IsDowngrade(std::string_view from, std::string_view to);

}  // namespace kavrel
