// The packed stub as the RCDATA resource "UPD" of the running program.
#include "ProgramResource.h"
#include "StubResource.h"

namespace kavrel::resources {

std::string_view StubResource() { return platform::ProgramResource("UPD").value_or(""); }

}  // namespace kavrel::resources
