// The registry: keys below two roots, holding named text values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavrel::platform {

enum class TRegRoot { CurrentUser, LocalMachine };
enum class TRegAccess { Read, Full };  // Full: reading and writing

class TRegistryKey {
 public:
  std::optional<std::string> ReadString(std::string_view name) const;
  // Raises EInOutError when the value cannot be written.
  void WriteString(std::string_view name, std::string_view value);

 private:
  friend std::optional<TRegistryKey> OpenRegistryKey(TRegRoot, std::string_view, TRegAccess, bool);
  TRegistryKey(TRegRoot root, std::string path, TRegAccess access)
      : root_(root), path_(std::move(path)), access_(access) {}
  TRegRoot root_;
  std::string path_;
  TRegAccess access_;
};

// Opens a key; with `create` a missing key is created. Nothing when the key does
// not exist (and is not to be created) or cannot be had with the access asked.
std::optional<TRegistryKey> OpenRegistryKey(TRegRoot root, std::string_view path, TRegAccess access,
                                            bool create);

}  // namespace kavrel::platform
