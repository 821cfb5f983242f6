// The patch utility compiled into the program as an array of bytes.
#include "UtilityResource.h"
#include "UtilityResourceBytes.h"

namespace kavrel::resources {

std::string_view UtilityResource() {
  return {reinterpret_cast<const char*>(kUtilityResourceBytes), kUtilityResourceBytesSize};
}

}  // namespace kavrel::resources
