// The PE file version reader on arbitrary bytes: it must neither read outside
// the data nor ask for more than it promises, and must end quickly.
#include <cstdlib>

#include "PeVersion.h"

namespace {

class TBoundedReader final : public kavrel::IByteReader {
 public:
  TBoundedReader(const std::uint8_t* data, std::size_t size) : inner_({data, size}) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    // Every walk is bounded by the counts the format allows and by the data.
    if (size > kavrel::kPeMaxRead || ++reads_ > 400000) std::abort();
    return inner_.ReadAt(offset, buffer, size);
  }

 private:
  kavrel::TMemoryByteReader inner_;
  long reads_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TBoundedReader reader(data, size);
  (void)kavrel::ReadPeFileVersion(reader);
  return 0;
}
