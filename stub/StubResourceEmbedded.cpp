// The packed stub compiled into the program as an array of bytes.
#include "StubResource.h"
#include "StubResourceBytes.h"

namespace kavrel::resources {

std::string_view StubResource() {
  return {reinterpret_cast<const char*>(kStubResourceBytes), kStubResourceBytesSize};
}

}  // namespace kavrel::resources
