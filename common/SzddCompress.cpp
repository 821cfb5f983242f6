#include "SzddCompress.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace kavrel {

namespace {

constexpr std::size_t kWindow = 4096;
constexpr std::size_t kStartPosition = kWindow - 16;  // where the first byte lands
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
// A match never reaches so far back that its source could overlap the bytes
// it writes in the window, so every way of copying it decodes the same.
constexpr std::size_t kMaxDistance = kWindow - kMaxMatch;
constexpr int kHashBits = 14;
constexpr std::size_t kMaxChain = 256;
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

std::uint32_t Hash3(const unsigned char* p) {
  const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return (v * 2654435761u) >> (32 - kHashBits);
}

// Collects items into groups of eight behind their flag byte.
class TGroupWriter {
 public:
  explicit TGroupWriter(std::string& out) : out_(out) {}
  void Literal(unsigned char c) {
    Begin();
    out_[flagAt_] = static_cast<char>(static_cast<unsigned char>(out_[flagAt_]) | (1u << count_));
    out_ += static_cast<char>(c);
    ++count_;
  }
  void Match(std::size_t windowPos, std::size_t length) {
    Begin();
    out_ += static_cast<char>(windowPos & 0xFF);
    out_ += static_cast<char>(((windowPos >> 4) & 0xF0) | (length - kMinMatch));
    ++count_;
  }

 private:
  void Begin() {
    if (count_ == 8 || flagAt_ == std::string::npos) {
      flagAt_ = out_.size();
      out_ += '\0';
      count_ = 0;
    }
  }
  std::string& out_;
  std::size_t flagAt_ = std::string::npos;
  unsigned count_ = 0;
};

}  // namespace

std::optional<std::string> SzddCompress(std::string_view data, char lastChar) {
  if (data.size() > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  std::string out(
      "SZDD\x88\xF0\x27\x33"
      "A",
      9);
  out += lastChar;
  const auto length = static_cast<std::uint32_t>(data.size());
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((length >> shift) & 0xFF);
  out.reserve(out.size() + data.size() / 2 + 16);

  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();
  std::vector<std::uint32_t> head(std::size_t{1} << kHashBits, kNone);
  std::vector<std::uint32_t> prev(kWindow, kNone);
  auto insert = [&](std::size_t pos) {
    if (pos + kMinMatch > n) return;
    const std::uint32_t h = Hash3(bytes + pos);
    prev[pos % kWindow] = head[h];
    head[h] = static_cast<std::uint32_t>(pos);
  };

  TGroupWriter writer(out);
  std::size_t pos = 0;
  while (pos < n) {
    std::size_t bestLength = 0, bestFrom = 0;
    if (pos + kMinMatch <= n) {
      const std::size_t limit = std::min(kMaxMatch, n - pos);
      std::uint32_t candidate = head[Hash3(bytes + pos)];
      for (std::size_t chain = 0; candidate != kNone && chain < kMaxChain; ++chain) {
        if (pos - candidate > kMaxDistance) break;
        std::size_t len = 0;
        while (len < limit && bytes[candidate + len] == bytes[pos + len]) ++len;
        if (len > bestLength) {
          bestLength = len;
          bestFrom = candidate;
          if (len == limit) break;
        }
        const std::uint32_t next = prev[candidate % kWindow];
        // A slot reused by a newer position ends the chain.
        if (next == kNone || next >= candidate) break;
        candidate = next;
      }
    }
    if (bestLength >= kMinMatch) {
      writer.Match((kStartPosition + bestFrom) % kWindow, bestLength);
      for (std::size_t k = 0; k < bestLength; ++k) insert(pos + k);
      pos += bestLength;
    } else {
      writer.Literal(bytes[pos]);
      insert(pos);
      ++pos;
    }
  }
  return out;
}

}  // namespace kavrel
