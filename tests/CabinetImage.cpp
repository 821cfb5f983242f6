#include "CabinetImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ChildProcess.h"
#ifdef _WIN32
#include "TestServers.h"
#endif

namespace kavrel::test {

namespace {

void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::string StoredCabinet(const std::vector<TCabinetEntry>& entries, std::uint16_t flags) {
  std::string names;  // the set's neighbour names, when flagged
  if (flags & 0x01) names += std::string("prev.cab\0disk\0", 14);
  if (flags & 0x02) names += std::string("next.cab\0disk\0", 14);
  std::string files, data;
  std::uint32_t offset = 0;
  for (const TCabinetEntry& e : entries) {
    Put32(files,
          e.DeclaredLength != 0 ? e.DeclaredLength : static_cast<std::uint32_t>(e.Data.size()));
    Put32(files, offset);
    Put16(files, 0);                                    // folder 0
    Put16(files, ((2021 - 1980) << 9) | (3 << 5) | 4);  // 4 March 2021
    Put16(files, (5 << 11) | (6 << 5) | (8 / 2));       // 05:06:08
    Put16(files, e.Attribs);
    files += e.Name;
    files += '\0';
    offset += static_cast<std::uint32_t>(e.Data.size());
    data += e.Data;
  }
  std::string blocks;
  std::uint16_t blockCount = 0;
  for (std::size_t at = 0; at < data.size() || blockCount == 0; at += 32768) {
    const std::string part = data.substr(std::min(at, data.size()), 32768);
    Put32(blocks, 0);  // no checksum
    Put16(blocks, static_cast<std::uint32_t>(part.size()));
    Put16(blocks, static_cast<std::uint32_t>(part.size()));
    blocks += part;
    ++blockCount;
    if (data.empty()) break;
  }
  const std::uint32_t headerSize = 36 + static_cast<std::uint32_t>(names.size());
  const std::uint32_t filesAt = headerSize + 8;
  const std::uint32_t dataAt = filesAt + static_cast<std::uint32_t>(files.size());
  std::string cab = "MSCF";
  Put32(cab, 0);
  Put32(cab, dataAt + static_cast<std::uint32_t>(blocks.size()));
  Put32(cab, 0);
  Put32(cab, filesAt);
  Put32(cab, 0);
  cab += '\x03';
  cab += '\x01';
  Put16(cab, 1);
  Put16(cab, static_cast<std::uint32_t>(entries.size()));
  Put16(cab, flags);
  Put16(cab, 0x1234);
  Put16(cab, (flags & 0x01) ? 1 : 0);
  cab += names;
  Put32(cab, dataAt);  // the folder's first data block
  Put16(cab, blockCount);
  Put16(cab, 0);  // stored
  return cab + files + blocks;
}

void MakeCabinetWithGcab(const std::string& folder, const std::string& cabinet,
                         const std::vector<std::string>& names, bool compress) {
#ifdef _WIN32
  // Under Wine a Windows program learns nothing of how a Linux program it
  // started ended: gcab runs through the starter of the test servers.
  std::vector<std::string> args = {folder, cabinet};
  if (compress) args.push_back("-z");
  args.insert(args.end(), names.begin(), names.end());
  try {
    TServerProcess made("make_cabinet.py", args, std::chrono::seconds(60));
  } catch (const std::exception& e) {
    FAIL() << "gcab: " << e.what();
  }
#else
  std::vector<std::string> args = {"/usr/bin/gcab", "-c"};
  if (compress) args.push_back("-z");
  args.push_back(cabinet);
  args.insert(args.end(), names.begin(), names.end());
  const TProgramResult r = RunProgram(args, folder);
  ASSERT_EQ(r.ExitCode, 0) << "gcab: " << r.Err;
#endif
}

std::vector<std::string> FilesBelow(const std::string& folder) {
  // Files may come and go while a running program works in the folder: the
  // walk skips what vanished instead of failing, and names are taken apart
  // without asking the file system again.
  std::vector<std::string> found;
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error))
    if (!it->is_directory(error))
      found.push_back(it->path().lexically_relative(folder).generic_string());
  std::sort(found.begin(), found.end());
  return found;
}

void CopyFilesBelow(const std::string& from, const std::string& to) {
  for (const std::string& name : FilesBelow(from))
    WriteFile(to + "/" + name, ReadFile(from + "/" + name).value());
}

}  // namespace kavrel::test
