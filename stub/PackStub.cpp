// Build tool: compresses the updater stub in the LZ format the engine carries
// it in, the header recording "e" as the expanded name's last character.
//   kvsetup-pack PROGRAM TARGET
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "SzddCompress.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: kvsetup-pack PROGRAM TARGET\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string program((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::cerr << "kvsetup-pack: cannot read " << argv[1] << '\n';
    return 1;
  }
  const auto packed = kavrel::SzddCompress(program, 'e');
  if (!packed) {
    std::cerr << "kvsetup-pack: cannot compress " << argv[1] << '\n';
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(packed->data(), static_cast<std::streamsize>(packed->size()));
  out.close();
  if (!out) {
    std::cerr << "kvsetup-pack: cannot write " << argv[2] << '\n';
    return 1;
  }
  return 0;
}
