// The enumeration types and the small objects the engine owns or refers to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Component.h"

namespace kavrel {

using TStrings = std::vector<std::string>;

enum TKavrelConnect : int {
  kvcNoConnect,
  kvcConnectPrompt,
  kvcConnectSilent,
  kvcConnectPromptHangup,
  kvcConnectSilentHangup,
  kvcNone
};
enum TKavrelUpdate : int { kvuPromptOnce, kvuPromptAll, kvuSilent };
enum TKavrelType : int { ftpUpdate, httpUpdate, fileUpdate };
enum TKavrelAuthentication : int { kaAlways, kaAuto, kaNever };
enum TKavrelVersionCheck : int { vcUpdateOnly, vcAlways };
enum TLastURLReg : int { lurLOCALUSER, lurLOCALMACHINE };

// Settings of the report posted to a web server after an update.
struct TPostUpdateInfo {
  std::string Server;
  std::string Action;
  std::string Data;
  bool Enabled = false;
  std::string PostResult;  // the server's answer to the last report
};

// Where the address of the control file and the date of the last update are
// remembered between runs.
struct TLastURLEntry {
  bool Save = false;
  std::string Key;
  std::string Section;
  TLastURLReg RegRoot = lurLOCALUSER;
};

// Window options for the patch utility; a component of its own that the engine
// only refers to.
class KAVREL_API TKavrelUtility : public TComponent {
 public:
  bool ShowWindow = false;
  bool ShowAnimation = false;
  std::string StatusMessage;
  std::string StatusCaption;
};

// One file entry of an update.
struct TFileDescription {
  bool Compressed = false;
  std::int32_t NewCheckSum = -1;
  std::int32_t NewSize = 0;
  std::string URL;
  std::string TargetDir;
  std::string LocalVersion;
  std::string NewVersion;
  std::string Description;
  std::string NewCustomVer;
  std::int32_t FileSize = 0;
  std::string NewDate;
  std::string NewTime;
  bool Mandatory = false;
  bool Preselect = true;
  bool Hidden = false;
  bool Selected = false;
  // A signed control file's "sha256" and "size", as written.
  std::string Sha256;
  std::string SignedSize;
  // The entry's number (its section "fileN"), and the number of the entry
  // fetched whole in its place when this one, a patch, cannot be applied.
  int Number = 0;
  int Fallback = 0;

  // How the entry is shown in the log: url[local,nv=version,nd=date,ns=size,nc=checksum].
  std::string DisplayLine() const {
    return URL + "[" + LocalVersion + ",nv=" + NewVersion + ",nd=" + NewDate +
           ",ns=" + std::to_string(NewSize) + ",nc=" + std::to_string(NewCheckSum) + "]";
  }
};

// The engine's ordered list of file entries.
class TFileList {
 public:
  TFileDescription& Add() { return items_.emplace_back(); }
  TFileDescription& operator[](std::size_t i) { return items_.at(i); }
  const TFileDescription& operator[](std::size_t i) const { return items_.at(i); }
  std::size_t Count() const { return items_.size(); }
  void Clear() { items_.clear(); }
  void Delete(std::size_t i) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i)); }
  void Insert(std::size_t i, TFileDescription entry) {
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(i), std::move(entry));
  }

  int ActiveIndex = 0;  // the entry whose transfer is under way

 private:
  std::vector<TFileDescription> items_;
};

}  // namespace kavrel
