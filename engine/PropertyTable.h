// The engine's published properties by name, set from their text forms:
// Booleans True/False, enumerations by their value names, integers in decimal,
// characters as one character. Sub-properties are written Owner.Name
// (PostUpdateInfo.Server, LastURLEntry.Key). Names match without regard to case.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

class TKavrel;

// Sets a property; on refusal returns a message naming the property and what
// it accepts, and leaves the engine unchanged.
std::optional<std::string> SetPropertyFromText(TKavrel& engine, std::string_view name,
                                               std::string_view value);
// The property's current value in the same text form; nothing for an unknown name.
std::optional<std::string> GetPropertyAsText(const TKavrel& engine, std::string_view name);
// Every name the table knows, in declaration order.
std::vector<std::string> PublishedPropertyNames();

}  // namespace kavrel
