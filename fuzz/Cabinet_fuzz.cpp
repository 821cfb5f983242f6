// Cabinet extraction on an arbitrary file: the input is a cabinet in a folder
// of its own, extracted into another folder. Whatever the cabinet holds,
// nothing may be written outside that folder, and the folder holds exactly
// the files the extraction reports as put in place (no temporary file, no
// damaged file). Both folders are removed after each input.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "PathNames.h"
#include "cabfdi.h"

namespace {

namespace fs = std::filesystem;
using kavrel::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string root = kavrel::fuzz::Scratch() + "/cabinet";
  const std::string in = root + "/in", out = root + "/out";
  fs::create_directories(in);
  fs::create_directories(out);
  const std::string cabinet = in + "/input.cab";
  kavrel::fuzz::WriteWholeFile(cabinet,
                               std::string_view(reinterpret_cast<const char*>(data), size));

  std::vector<std::string> written;
  const int result = kavrel::ExtractCabinet(cabinet, out + "/", &written);
  Check(result == 0 || result == -1, "the result is 0 or -1");

  for (const std::string& path : kavrel::fuzz::TreeBelow(root)) {
    Check(path == "in" || path == "in/input.cab" || path == "out" || path.rfind("out/", 0) == 0,
          "nothing is written outside the destination: " + path);
    Check(!fs::is_symlink(root + "/" + path), "no link is made: " + path);
  }
  std::set<std::string> reported;
  for (const std::string& path : written) {
    const fs::path normal = fs::path(kavrel::platform::ToNativePath(path)).lexically_normal();
    Check(normal.string().rfind(out + "/", 0) == 0, "a written file lies below the folder");
    Check(fs::is_regular_file(normal), "a written file is there: " + path);
    reported.insert(normal.string());
  }
  // Whether it worked or not, the files in the folder are those reported as
  // put in place: no temporary file and no part of a damaged one stays.
  std::set<std::string> files;
  for (const std::string& path : kavrel::fuzz::TreeBelow(out))
    if (fs::is_regular_file(out + "/" + path)) files.insert(out + "/" + path);
  Check(reported == files, "the folder holds exactly the files reported");

  fs::remove_all(root);
  return 0;
}
