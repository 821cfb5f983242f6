#include "PropertyTable.h"

#include <functional>
#include <limits>

#include "Kavrel.h"
#include "Text.h"
#include "Unicode.h"

namespace kavrel {

namespace {

struct TProperty {
  std::string name;
  std::string accepts;  // for refusal messages
  std::function<std::optional<std::string>(TKavrel&, std::string_view)> set;  // error or nothing
  std::function<std::string(const TKavrel&)> get;
};

using Member = std::function<std::string&(TKavrel&)>;

template <typename Access>
TProperty Text(std::string name, Access access) {
  return {std::move(name), "any text",
          [access](TKavrel& e, std::string_view v) -> std::optional<std::string> {
            access(e) = std::string(v);
            return std::nullopt;
          },
          [access](const TKavrel& e) { return access(const_cast<TKavrel&>(e)); }};
}

template <typename Access>
TProperty Boolean(std::string name, Access access) {
  return {std::move(name), "True or False",
          [access](TKavrel& e, std::string_view v) -> std::optional<std::string> {
            if (SameText(v, "True"))
              access(e) = true;
            else if (SameText(v, "False"))
              access(e) = false;
            else
              return "";
            return std::nullopt;
          },
          [access](const TKavrel& e) {
            return std::string(access(const_cast<TKavrel&>(e)) ? "True" : "False");
          }};
}

template <typename Access>
TProperty Integer(std::string name, Access access) {
  return {std::move(name), "a whole number in decimal",
          [access](TKavrel& e, std::string_view v) -> std::optional<std::string> {
            // Blanks after the number count as little as those before it.
            const TNumberScan scan = ScanInteger(TrimView(v));
            if (!scan.valid || scan.hex) return "";
            if (scan.overflow || scan.magnitude > (scan.negative ? 2147483648ull : 2147483647ull))
              return "it is out of range: it takes a whole number from -2147483648 to 2147483647";
            access(e) = static_cast<int>(scan.Value());
            return std::nullopt;
          },
          [access](const TKavrel& e) { return std::to_string(access(const_cast<TKavrel&>(e))); }};
}

// One character of any script: a single well-formed UTF-8 sequence ("/",
// "·", "年"), whatever its length in bytes.
template <typename Access>
TProperty Character(std::string name, Access access) {
  return {std::move(name), "exactly one character",
          [access](TKavrel& e, std::string_view v) -> std::optional<std::string> {
            std::uint32_t cp = 0;
            if (v.empty() || DecodeUtf8(v, cp) != v.size()) return "";
            access(e) = std::string(v);
            return std::nullopt;
          },
          [access](const TKavrel& e) { return access(const_cast<TKavrel&>(e)); }};
}

template <typename Enum, typename Access>
TProperty Enumeration(std::string name, std::vector<std::string> values, Access access) {
  std::string accepts = "one of";
  for (const std::string& v : values) accepts += " " + v;
  return {std::move(name), accepts,
          [access, values](TKavrel& e, std::string_view v) -> std::optional<std::string> {
            for (std::size_t i = 0; i < values.size(); ++i) {
              if (SameText(values[i], v)) {
                access(e) = static_cast<Enum>(i);
                return std::nullopt;
              }
            }
            return "";
          },
          [access, values](const TKavrel& e) {
            const auto i = static_cast<std::size_t>(access(const_cast<TKavrel&>(e)));
            return i < values.size() ? values[i] : std::to_string(i);
          }};
}

#define KV_MEMBER(expr) [](TKavrel& e) -> decltype(auto) { return (e.expr); }

const std::vector<TProperty>& Table() {
  static const std::vector<TProperty> table = {
      Text("Agent", KV_MEMBER(Agent)),
      Boolean("ApplyPatch", KV_MEMBER(ApplyPatch)),
      Enumeration<TKavrelAuthentication>("Authenticate", {"kaAlways", "kaAuto", "kaNever"},
                                         KV_MEMBER(Authenticate)),
      Text("DateFormat", KV_MEMBER(DateFormat)),
      Character("DateSeparator", KV_MEMBER(DateSeparator)),
      Boolean("ExtractCAB", KV_MEMBER(ExtractCAB)),
      Boolean("ExistingConnection", KV_MEMBER(ExistingConnection)),
      Boolean("ForceUpdate", KV_MEMBER(ForceUpdate)),
      Text("FTPDirectory", KV_MEMBER(FTPDirectory)),
      Boolean("FTPPassive", KV_MEMBER(FTPPassive)),
      Text("Host", KV_MEMBER(Host)),
      Integer("DefaultHealthCheck", KV_MEMBER(DefaultHealthCheck)),
      Boolean("HTTPKeepAliveAuthentication", KV_MEMBER(HTTPKeepAliveAuthentication)),
      Boolean("KeepIntermediateFiles", KV_MEMBER(KeepIntermediateFiles)),
      Text("LanguageID", KV_MEMBER(LanguageID)),
      Boolean("Logging", KV_MEMBER(Logging)),
      {"LogFileName", "any text",
       [](TKavrel& e, std::string_view v) -> std::optional<std::string> {
         e.SetLogFileName(std::string(v));
         return std::nullopt;
       },
       [](const TKavrel& e) { return e.LogFileName(); }},
      Boolean("LastURLEntry.Save", KV_MEMBER(LastURLEntry.Save)),
      Text("LastURLEntry.Key", KV_MEMBER(LastURLEntry.Key)),
      Text("LastURLEntry.Section", KV_MEMBER(LastURLEntry.Section)),
      Enumeration<TLastURLReg>("LastURLEntry.RegRoot", {"lurLOCALUSER", "lurLOCALMACHINE"},
                               KV_MEMBER(LastURLEntry.RegRoot)),
      Text("Password", KV_MEMBER(Password)),
      Integer("Port", KV_MEMBER(Port)),
      Text("ProductID", KV_MEMBER(ProductID)),
      Text("PostUpdateInfo.Server", KV_MEMBER(PostUpdateInfo.Server)),
      Text("PostUpdateInfo.Action", KV_MEMBER(PostUpdateInfo.Action)),
      Text("PostUpdateInfo.Data", KV_MEMBER(PostUpdateInfo.Data)),
      Boolean("PostUpdateInfo.Enabled", KV_MEMBER(PostUpdateInfo.Enabled)),
      Text("Proxy", KV_MEMBER(Proxy)),
      Text("ProxyUserID", KV_MEMBER(ProxyUserID)),
      Text("ProxyPassword", KV_MEMBER(ProxyPassword)),
      Text("PublicKey", KV_MEMBER(PublicKey)),
      Text("Signature", KV_MEMBER(Signature)),
      Boolean("SignatureCheck", KV_MEMBER(SignatureCheck)),
      Text("TempDirectory", KV_MEMBER(TempDirectory)),
      Text("TimeFormat", KV_MEMBER(TimeFormat)),
      Integer("TimeOut", KV_MEMBER(TimeOut)),
      Character("TimeSeparator", KV_MEMBER(TimeSeparator)),
      Enumeration<TKavrelType>("UpdateType", {"ftpUpdate", "httpUpdate", "fileUpdate"},
                               KV_MEMBER(UpdateType)),
      Enumeration<TKavrelConnect>("UpdateConnect",
                                  {"kvcNoConnect", "kvcConnectPrompt", "kvcConnectSilent",
                                   "kvcConnectPromptHangup", "kvcConnectSilentHangup", "kvcNone"},
                                  KV_MEMBER(UpdateConnect)),
      Enumeration<TKavrelUpdate>("UpdateUpdate", {"kvuPromptOnce", "kvuPromptAll", "kvuSilent"},
                                 KV_MEMBER(UpdateUpdate)),
      Text("URL", KV_MEMBER(URL)),
      Text("UserID", KV_MEMBER(UserID)),
      Boolean("UseCRC32", KV_MEMBER(UseCRC32)),
      Boolean("UseWinTempDir", KV_MEMBER(UseWinTempDir)),
      Enumeration<TKavrelVersionCheck>("VersionCheck", {"vcUpdateOnly", "vcAlways"},
                                       KV_MEMBER(VersionCheck)),
      {"Version", "any text (the engine keeps its own version)",
       [](TKavrel& e, std::string_view v) -> std::optional<std::string> {
         e.SetVersion(std::string(v));
         return std::nullopt;
       },
       [](const TKavrel& e) { return e.GetVersion(); }},
  };
  return table;
}

#undef KV_MEMBER

const TProperty* Find(std::string_view name) {
  for (const TProperty& p : Table())
    if (SameText(p.name, name)) return &p;
  return nullptr;
}

}  // namespace

std::optional<std::string> SetPropertyFromText(TKavrel& engine, std::string_view name,
                                               std::string_view value) {
  const TProperty* property = Find(name);
  if (property == nullptr) {
    if (SameText(name, "Utility"))
      return "property Utility refers to a component and cannot be set from text";
    return "unknown property " + std::string(name);
  }
  if (const auto why = property->set(engine, value))
    return "property " + property->name + " does not accept \"" + std::string(value) +
           "\": " + (why->empty() ? "it takes " + property->accepts : *why);
  return std::nullopt;
}

std::optional<std::string> GetPropertyAsText(const TKavrel& engine, std::string_view name) {
  const TProperty* property = Find(name);
  if (property == nullptr) return std::nullopt;
  return property->get(engine);
}

std::vector<std::string> PublishedPropertyNames() {
  std::vector<std::string> names;
  for (const TProperty& p : Table()) names.push_back(p.name);
  return names;
}

}  // namespace kavrel
