// The patch utility as the RCDATA resource "UTIL" of the running program.
#include "ProgramResource.h"
#include "UtilityResource.h"

namespace kavrel::resources {

std::string_view UtilityResource() { return platform::ProgramResource("UTIL").value_or(""); }

}  // namespace kavrel::resources
