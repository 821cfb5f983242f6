#include "PublishCommand.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include "CommandOperands.h"
#include "ControlFile.h"
#include "ControlFileLint.h"
#include "Errors.h"
#include "FileDigest.h"
#include "FileVersion.h"
#include "Files.h"
#include "Folders.h"
#include "HostEngine.h"
#include "IniDocument.h"
#include "Patch.h"
#include "PathHelpers.h"
#include "PropertyTable.h"
#include "ScriptedUserInterface.h"
#include "SigningCommands.h"
#include "SzddCompress.h"
#include "Text.h"
#include "kvcrc32.h"

namespace kavrel {

namespace {

namespace fs = std::filesystem;

// Paths are UTF-8 throughout; the library's own 8-bit form is the code page on
// Windows.
fs::path Native(const std::string& path) {
  return fs::path(std::u8string(path.begin(), path.end()));
}

constexpr const char* kUsage =
    "kavrel publish [--from OLD] --to NEW --site SITE --url BASE [--program NAME] "
    "[--key SECRETKEY] [--product ID] [--valid-for DAYS] [--whatsnew FILE] [--license FILE] "
    "[--in-use NAME]... [--verify]";

// The release's files by their paths below its folder, "/"-separated, sorted.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  const fs::path root = Native(folder);
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) {
      const std::u8string relative = entry.path().lexically_relative(root).generic_u8string();
      files.emplace_back(relative.begin(), relative.end());
    }
  std::sort(files.begin(), files.end());
  return files;
}

// A path that stays valid when the current folder changes, as it does for the
// scratch run.
std::string AbsolutePath(const std::string& path) {
  const std::u8string absolute = fs::absolute(Native(path)).u8string();
  return std::string(absolute.begin(), absolute.end());
}

std::string Join(const std::string& folder, const std::string& relative) {
  return folder + "/" + relative;
}

// A path below the application folder as the control file names it.
std::string InApplication(const std::string& relative) {
  std::string path = "{APP}\\" + relative;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string FolderOfRelative(const std::string& relative) {
  const std::size_t slash = relative.rfind('/');
  return slash == std::string::npos ? std::string("{APP}")
                                    : InApplication(relative.substr(0, slash));
}

// What would end or change a location's path: a machine names the fetched
// file by the location's last part as written, so a name holding one of these
// could not be fetched under its own name.
bool ChangesAPath(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F || c == '%' || c == '#' || c == '?';
}

// A location below the site's address. Names stay as they are (blanks and
// letters of any script go out encoded by the transfer itself).
std::string Location(const std::string& base, const std::string& relative) {
  std::string out = base;
  if (!out.empty() && out.back() != '/') out += '/';
  return out +
         PercentEncode(relative, [&relative](std::size_t i) { return ChangesAPath(relative[i]); });
}

// How a machine tells that its copy is not the new one: the program's file
// version when it went up, otherwise the checksum (of the kind launchers
// use), which decides alone.
std::pair<std::string, std::string> Condition(const std::string& now, const std::string& before) {
  const TVersionWords newVersion = GetFileVersion(now);
  const TVersionWords oldVersion = before.empty() ? TVersionWords{} : GetFileVersion(before);
  if (newVersion.Valid() && oldVersion.Valid() && CompareVersionWords(newVersion, oldVersion) > 0)
    return {"newversion", VersionToText(newVersion)};
  return {"newchecksum", std::to_string(FileCRC(now))};
}

std::int64_t SizeOf(const std::string& path) {
  return static_cast<std::int64_t>(fs::file_size(Native(path)));
}

bool SameContent(const std::string& a, const std::string& b) {
  return SizeOf(a) == SizeOf(b) && FileSha256(a) == FileSha256(b);
}

// The engine of the scratch run that --verify makes. It reads the site from
// its folder, accepts the texts, hands nothing to the updater stub and notes
// whether it refused anything a machine's run would refuse. It is no
// installation: it neither takes an accepted sequence from this user's memory
// nor leaves one there, where an earlier check of a site in the same folder
// would make it refuse a lower one.
class TScratchEngine : public THostEngine {
 public:
  TScratchEngine(std::ostream& out, std::string base, std::string site)
      : THostEngine(out), base_(std::move(base)), site_(std::move(site)) {
    OnBeforeFileDownload = [this](TKavrel&, int, const std::string&, std::string& url) {
      url = InSite(url);
    };
    OnDownloadedWhatsNew = [](TKavrel&, TStrings&, int&) {};
    OnDownloadedEULA = [](TKavrel&, TStrings&, int&) {};
    // No stub: the check puts the components in place itself once the run
    // has ended, so that the run's own files are the whole update here (a
    // handoff merely refused would roll them back).
    OnAppRestart = [this](TKavrel&, bool& allow) {
      allow = false;
      AppUpdate = false;
    };
  }

  // Raised by the engine for the what's-new text only; the licence is read
  // from the site all the same, checked against its signed hash.
  std::optional<TStrings> GetLicense() override {
    const std::string section = "eula" + LanguageID;
    const TControlFile control(ControlFileName);
    const std::string address = control.ReadText(section, "file");
    if (address.empty()) return std::nullopt;
    return DownloadSectionText(control, section, InSite(address));
  }

  void ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) override {
    // A control file refused (977, 978) or something it names that is not
    // what it signed (979).
    if (Ident >= 977 && Ident <= 979) Refused = true;
    THostEngine::ReportStatus(Ident, Arg, StatusCode, ErrCode);
  }

  bool Refused = false;

 protected:
  std::optional<std::int64_t> ReadAcceptedSequence(const std::string&) override {
    return std::nullopt;
  }
  void WriteAcceptedSequence(const std::string&, std::int64_t) override {}

 private:
  // A location below the site's address, as the file in the site's folder.
  std::string InSite(const std::string& address) const {
    if (address.compare(0, base_.size(), base_) != 0) return address;
    return site_ + "/" + PercentDecode(std::string_view(address).substr(base_.size()));
  }

  std::string base_, site_;
};

// One file the site serves.
struct TServed {
  std::string Name;  // below the site's folder
  bool Compressed = false;
};

class TPublisher {
 public:
  TPublisher(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  std::string From, To, Site, Base, Program, Key, Product, ValidFor, WhatsNew, License;
  std::vector<std::string> InUse;
  bool VerifyRun = false;

  int Run() {
    const std::vector<std::string> files = FilesBelow(To);
    std::set<std::string> old;
    if (!From.empty())
      for (const std::string& f : FilesBelow(From)) old.insert(f);
    for (const std::string& name : old)
      if (!std::binary_search(files.begin(), files.end(), name))
        err_ << "kavrel: warning: " << name
             << " is only in the old version: a control file cannot remove it\n";
    std::set<std::string> components(InUse.begin(), InUse.end());
    if (!Program.empty()) components.insert(Program);
    for (const std::string& c : components) {
      if (c.find('/') != std::string::npos || !std::binary_search(files.begin(), files.end(), c)) {
        err_ << "kavrel: " << c
             << " is no file in the new version's own folder: the updater stub completes only "
                "those\n";
        return 2;
      }
    }
    fs::create_directories(Native(Site));
    std::vector<std::string> componentNames;
    for (const std::string& name : files) {
      const std::string now = Join(To, name);
      const bool before = old.count(name) != 0;
      if (std::any_of(name.begin(), name.end(), ChangesAPath)) {
        err_ << "kavrel: " << name << " cannot be fetched under its own name (\"%\", \"#\", \"?\" "
             << "or a control character)\n";
        return 1;
      }
      if (before && SameContent(Join(From, name), now)) continue;
      // One condition for every entry of the file: a patch and its fallback
      // are chosen alike.
      const auto condition = Condition(now, before ? Join(From, name) : std::string());
      if (components.count(name) != 0) {
        componentNames.push_back(name + "_NEW");
        AddEntry(name, Serve(now, name + "_NEW", false), condition, 0);
        continue;
      }
      const TServed whole = Serve(now, name, true);
      if (before) {
        const std::string patchName = name + ".pat";
        const std::string patchPath = Join(Site, patchName);
        const auto made = delta::MakePatch(Join(From, name), now, patchPath, {19, 0});
        if (made.Succeeded() && SizeOf(patchPath) * 5 < SizeOf(Join(Site, whole.Name)) * 4) {
          AddEntry(name, {patchName, false}, condition, entries_ + 2);
          AddEntry(name, whole, condition, 0);
          continue;
        }
        fs::remove(Native(patchPath));
      }
      AddEntry(name, whole, condition, 0);
    }
    WriteControlFile(componentNames);
    if (!Key.empty() && !Sign()) return 1;
    out_ << "Site written: " << Site << "/update.ini, " << entries_ << " entries\n";
    if (VerifyRun && !Verify(files, componentNames)) return 1;
    return 0;
  }

 private:
  // Copies (or compresses, where that saves a useful share) a file into the
  // site under a name.
  TServed Serve(const std::string& path, const std::string& name, bool mayCompress) {
    const std::string target = Join(Site, name);
    fs::create_directories(Native(target).parent_path());
    const std::string bytes = platform::ReadWholeFile(path).value_or("");
    if (mayCompress && bytes.size() >= 4096 && name.back() != '_') {
      const auto packed = SzddCompress(bytes, name.back());
      // A tenth smaller and 4 KiB at least: less would not pay for the work.
      if (packed && packed->size() * 10 <= bytes.size() * 9 &&
          bytes.size() - packed->size() >= 4096) {
        const std::string packedName = name.substr(0, name.size() - 1) + "_";
        platform::WriteFileAtomically(Join(Site, packedName), *packed);
        return {packedName, true};
      }
    }
    platform::WriteFileAtomically(target, bytes);
    return {name, false};
  }

  // One [fileN] section: fetched when the installed file is not the new one.
  void AddEntry(const std::string& name, const TServed& served,
                const std::pair<std::string, std::string>& condition, int fallback) {
    const std::string section = "file" + std::to_string(++entries_);
    const std::string site = Join(Site, served.Name);
    ini_.WriteString(section, "url", Location(Base, served.Name));
    ini_.WriteString(section, "descr", name);
    ini_.WriteString(section, "localversion", InApplication(name));
    ini_.WriteString(section, condition.first, condition.second);
    if (!served.Name.ends_with("_NEW"))
      ini_.WriteString(section, "targetdir", FolderOfRelative(name));
    if (served.Compressed) ini_.WriteString(section, "compressed", "1");
    if (fallback != 0) ini_.WriteString(section, "fallback", std::to_string(fallback));
    ini_.WriteString(section, "sha256", FileSha256(site).value_or(""));
    ini_.WriteString(section, "size", std::to_string(SizeOf(site)));
  }

  void WriteControlFile(const std::vector<std::string>& components) {
    const std::string path = Join(Site, "update.ini");
    // The sequence goes up by one from the site's previous control file.
    const TIniDocument previous =
        TIniDocument::Parse(platform::ReadWholeFile(path, 16 << 20).value_or(""));
    const long long sequence = std::stoll("0" + previous.ReadString("update", "sequence", "0")) + 1;
    TIniDocument ini;
    ini.WriteString("update", "signature", "Kavrel");
    ini.WriteString("update", "descr", "Update");
    ini.WriteString("update", "unconditional", "1");
    ini.WriteString("update", "sequence", std::to_string(sequence));
    if (!Product.empty()) ini.WriteString("update", "product", Product);
    if (!ValidFor.empty()) ini.WriteString("update", "expires", Expiry(std::stoi(ValidFor)));
    if (!components.empty()) {
      ini.WriteString("application", "appupdate", "1");
      ini.WriteString("application", "appname", Program.empty() ? components.front() : Program);
      std::string list;
      for (const std::string& c : components) list += (list.empty() ? "" : " ") + c;
      ini.WriteString("application", "appcomps", list);
      // The launcher is the application's way in: it closes without asking.
      ini.WriteString("application", "silentrestart", "1");
    }
    for (const auto& [section, file] : std::vector<std::pair<std::string, std::string>>{
             {"whatsnew", WhatsNew}, {"eula", License}}) {
      if (file.empty()) continue;
      const std::u8string leaf = Native(file).filename().u8string();
      const std::string name(leaf.begin(), leaf.end());
      Serve(file, name, false);
      ini.WriteString(section, "file", Location(Base, name));
      ini.WriteString(section, "sha256", FileSha256(Join(Site, name)).value_or(""));
    }
    ini.WriteString("files", "count", std::to_string(entries_));
    std::string text = ini.ToText();
    // The entries after the header sections, in their order.
    const std::string entries = ini_.ToText();
    platform::WriteFileAtomically(path, text + entries);
  }

  // "expires": the days from now, or from SOURCE_DATE_EPOCH when set, so that
  // a build that fixes its time gets the same bytes.
  static std::string Expiry(int days) {
    std::time_t now = std::time(nullptr);
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) now = std::atoll(epoch);
    now += static_cast<std::time_t>(days) * 86400;
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
  }

  // The site applied by the engine to a scratch copy of the old release, as a
  // machine with the launcher's settings (and the signing key's public half)
  // would, read from the site's folder; then every file compared with the new
  // release. The components are put in place as the updater stub would,
  // without starting the program. A run that refuses the control file or
  // anything it names fails the check, whatever the files.
  bool Verify(const std::vector<std::string>& files, const std::vector<std::string>& components) {
    auto scratch = platform::TTemporaryFolder::Create(GetTempDir(), "KAVV");
    if (!scratch) {
      err_ << "kavrel: no scratch folder to verify the site in\n";
      return false;
    }
    const std::string app = Join(scratch->Path(), "app");
    fs::create_directories(Native(app));
    if (!From.empty())
      for (const std::string& name : FilesBelow(From)) {
        fs::create_directories(Native(Join(app, name)).parent_path());
        fs::copy_file(Native(Join(From, name)), Native(Join(app, name)));
      }
    // The control file as it stands, signature and all, with the settings of
    // the launcher (and its key, where the site is signed).
    const std::string site = AbsolutePath(Site);
    std::ostringstream statuses;
    TScratchEngine engine(statuses, Location(Base, ""), site);
    for (const char* setting :
         {"UpdateType=fileUpdate", "UseCRC32=True", "ExtractCAB=True", "ApplyPatch=True",
          "UseWinTempDir=False", "TempDirectory=.", "UpdateUpdate=kvuSilent"}) {
      const std::string text = setting;
      const std::size_t eq = text.find('=');
      SetPropertyFromText(engine, text.substr(0, eq), text.substr(eq + 1));
    }
    engine.URL = Join(site, "update.ini");
    engine.PublicKey = PublicKey;
    engine.ProductID = Product;
    std::ostringstream boxes;
    const auto previous = platform::SetUserInterface(
        std::make_shared<platform::TScriptedUserInterface>(std::vector<std::string>{}, boxes));
    const std::string here = platform::GetCurrentDir();
    platform::SetCurrentDir(app);
    try {
      engine.RunUpdate();
    } catch (const std::exception& e) {
      statuses << e.what() << '\n';
    }
    platform::SetCurrentDir(here);
    platform::SetUserInterface(previous);
    for (const std::string& component : components) {
      const std::string fetched = Join(app, component);
      platform::ReplaceFileWith(fetched, fetched.substr(0, fetched.size() - 4));
    }
    std::vector<std::string> differing;
    for (const std::string& name : files)
      if (platform::ReadWholeFile(Join(app, name)) != platform::ReadWholeFile(Join(To, name)))
        differing.push_back(name);
    // The scratch folder goes once it is empty.
    fs::remove_all(Native(app));
    const bool failed = engine.Outcome() != TKavrel::TRunOutcome::Done;
    if (engine.Refused || failed || !differing.empty()) {
      if (engine.Refused || failed) err_ << "kavrel: a machine's run does not accept the site\n";
      if (!differing.empty()) {
        err_ << "kavrel: the site does not turn the old release into the new one:";
        for (const std::string& name : differing) err_ << ' ' << name;
        err_ << '\n';
      }
      err_ << "The run said:\n" << statuses.str();
      return false;
    }
    out_ << "Verified: the site turns " << (From.empty() ? "nothing" : From) << " into " << To
         << '\n';
    return true;
  }

  // Signs the control file and keeps the key's public half for the check.
  bool Sign() {
    const auto key = ReadSecretKey(Key, err_);
    const std::string ini = Join(Site, "update.ini");
    if (!key ||
        !SignFile(ini, *key, "file:update.ini\thashed", false, ini + ".minisig", out_, err_))
      return false;
    PublicKey = trust::PublicKeyBase64(key->Public());
    return true;
  }

  std::ostream& out_;
  std::ostream& err_;
  std::string PublicKey;  // of the key the site was signed with; empty: unsigned
  TIniDocument ini_;
  int entries_ = 0;
};

}  // namespace

int PublishCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TPublisher publisher(out, err);
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--in-use" && i + 1 < args.size())
      publisher.InUse.push_back(args[++i]);
    else if (args[i] == "--verify")
      publisher.VerifyRun = true;
    else
      rest.push_back(args[i]);
  }
  std::vector<std::string> operands;
  if (!TakeOperands(rest, 0, kUsage, err, operands, {},
                    {{"--from", &publisher.From},
                     {"--to", &publisher.To},
                     {"--site", &publisher.Site},
                     {"--url", &publisher.Base},
                     {"--program", &publisher.Program},
                     {"--key", &publisher.Key},
                     {"--product", &publisher.Product},
                     {"--valid-for", &publisher.ValidFor},
                     {"--whatsnew", &publisher.WhatsNew},
                     {"--license", &publisher.License}}))
    return 2;
  if (publisher.To.empty() || publisher.Site.empty() || publisher.Base.empty())
    return UsageError(err, "--to, --site and --url are needed", kUsage);
  if (!publisher.ValidFor.empty() &&
      publisher.ValidFor.find_first_not_of("0123456789") != std::string::npos)
    return UsageError(err, "--valid-for takes a number of days", kUsage);
  try {
    return publisher.Run();
  } catch (const std::exception& e) {
    err << "kavrel: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace kavrel
