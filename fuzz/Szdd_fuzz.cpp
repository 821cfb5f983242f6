// LZ (SZDD) expansion on an arbitrary file: the input lies alone in a folder
// as "input.ex_". The expanded name differs in its last character only, the
// expansion writes nothing but that file beside its source and leaves no
// temporary file, and expanding as the updater stub does removes the source
// unless it is no LZ file. The folder is emptied after each input.
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "LzExpand.h"

namespace {

namespace fs = std::filesystem;
using kavrel::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folder = kavrel::fuzz::Scratch() + "/szdd";
  fs::create_directories(folder);
  const std::string source = folder + "/input.ex_";
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  kavrel::fuzz::WriteWholeFile(source, content);

  const auto name = kavrel::ExpandedLZName(source);
  if (name) {
    // The last character replaced, or a trailing "_" dropped where none is recorded.
    const std::string stem = source.substr(0, source.size() - 1);
    Check(name->compare(0, stem.size(), stem) == 0 && name->size() <= source.size() &&
              name->size() >= stem.size(),
          "only the last character changes");
    Check(fs::path(*name).parent_path() == fs::path(source).parent_path(), "beside its source");
  }
  const auto expanded = kavrel::ExpandLZ(source);
  Check(!expanded || expanded == name, "the expansion has the expanded name");
  for (const std::string& path : kavrel::fuzz::TreeBelow(folder))
    Check(folder + "/" + path == source || (expanded && folder + "/" + path == *expanded),
          "nothing but the expanded file is written: " + path);
  if (expanded) Check(fs::is_regular_file(*expanded), "the expanded file is there");
  if (!expanded || *expanded != source)
    Check(fs::file_size(source) == size, "the compressed source stays as it was");

  kavrel::fuzz::EmptyFolder(folder);
  kavrel::fuzz::WriteWholeFile(source, content);
  kavrel::ExpandLZFile(source);
  // A source that is its own expanded name has become its expansion.
  Check(fs::exists(source) == (!name || expanded == source), "an LZ source goes once expanded");
  for (const std::string& path : kavrel::fuzz::TreeBelow(folder))
    Check(folder + "/" + path == source || (name && folder + "/" + path == *name),
          "nothing but the expanded file is written: " + path);

  kavrel::fuzz::EmptyFolder(folder);
  return 0;
}
