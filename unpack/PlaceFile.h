// How a decompressor puts a finished file in the place of its target.
// Without one of its own the file is renamed over the target
// (platform::ReplaceFileWith); an update's journal gives one that keeps the
// old file aside first, so that the update can be undone.
#pragma once

#include <functional>
#include <string>

namespace kavrel {

using TPlaceFile = std::function<bool(const std::string& from, const std::string& to)>;

// `place` when given, else the rename over the target.
bool PlaceFile(const TPlaceFile& place, const std::string& from, const std::string& to);

}  // namespace kavrel
