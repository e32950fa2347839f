// What the loader (eligibility/campaign_loader.cpp) and the offer constructor
// (campaign/package.cpp) read, key by key, with the type each read accepts: strings
// through get<std::string>, booleans through get<bool>, whole numbers through
// NumberAs<int> (numbers and booleans), the 64-bit conditions through
// NumberAs<std::uint64_t> (numbers only), lists through get<std::vector<std::string>>.
// A key present is read whatever its value, null included.
#include "check_report.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "campaign/json_numbers.h"
#include "download/package_trust.h"
#include "eligibility/registry_path.h"
#include "eligibility/unsigned_text.h"
#include "system/text_convert.h"
#include "settings/wizard_type.h"
#include "text/web_link.h"

namespace ostrane::campaign_check {
namespace {

using nlohmann::json;
using Severity = Problem::Severity;

enum class Kind { String, Boolean, Int, Unsigned, Object, Array, Strings };

const char* Expected(Kind kind) {
  switch (kind) {
    case Kind::String: return "string";
    case Kind::Boolean: return "boolean";
    case Kind::Int: return "number or boolean";
    case Kind::Unsigned: return "number";
    case Kind::Object: return "object";
    case Kind::Array: return "array";
    case Kind::Strings: return "array of strings";
  }
  return "";
}

bool Has(const json& value, Kind kind) {
  switch (kind) {
    case Kind::String: return value.is_string();
    case Kind::Boolean: return value.is_boolean();
    case Kind::Int: return value.is_number() || value.is_boolean();
    case Kind::Unsigned: return value.is_number();
    case Kind::Object: return value.is_object();
    case Kind::Array:
    case Kind::Strings: return value.is_array();
  }
  return false;
}

bool IsIdentifier(const std::string& key) {
  if (key.empty() || std::isdigit(static_cast<unsigned char>(key[0]))) return false;
  return std::all_of(key.begin(), key.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

std::string Member(const std::string& path, const std::string& key) {
  if (!IsIdentifier(key)) return path + "[" + json(key).dump() + "]";
  return path.empty() ? key : path + "." + key;
}

std::string Element(const std::string& path, std::size_t index) { return path + "[" + std::to_string(index) + "]"; }

// How the rules' reading of "rvd" data ends for a value held as T: nothing when it
// gives a number, else the failure that ends the load.
template <typename T>
std::optional<std::string> NumberFailure(const std::string& data) {
  try {
    ParseUnsigned<T>(std::wstring(data.begin(), data.end()), "stoul");
    return std::nullopt;
  } catch (const std::invalid_argument&) {
    return "is not a number";
  } catch (const std::out_of_range&) {
    return "does not fit";
  }
}

// Whether a URL's path, before any query or fragment, ends in ".zip" in any case: the
// file is probably an archive, though only its bytes will tell the installer.
bool NamesZip(std::string url) {
  url = url.substr(0, url.find_first_of("?#"));
  if (const auto scheme = url.find("://"); scheme != std::string::npos) {
    const auto path = url.find('/', scheme + 3);
    url = path == std::string::npos ? std::string() : url.substr(path);  // a host may end in ".zip"
  }
  if (url.size() < 4) return false;
  std::string end = url.substr(url.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".zip";
}

// The installer widens the campaign's bytes before it asks IsWebUrl; what that asks
// (the scheme, spaces, control characters, backslashes, the host) lies in ASCII.
std::wstring Widened(const std::string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

class Checker {
 public:
  explicit Checker(std::vector<Problem>& problems) : problems_(problems) {}

  void Report(Severity severity, const std::string& path, std::string expected, std::string found, std::string message,
              std::string condition = {}) {
    problems_.push_back({severity, offer_, path, std::move(expected), std::move(found), std::move(message),
                         std::move(condition)});
  }
  void Warn(const std::string& path, std::string message) { Report(Severity::Warning, path, "", "", std::move(message)); }

  // The member when it is there with the right kind; a problem when it is there with
  // another, or missing while required.
  const json* Read(const json& parent, const std::string& path, const std::string& key, Kind kind, bool required) {
    const std::string at = Member(path, key);
    const auto it = parent.find(key);
    if (it == parent.end()) {
      if (required) Report(Severity::Error, at, Expected(kind), "missing", "");
      return nullptr;
    }
    if (!Has(*it, kind)) {
      Report(Severity::Error, at, Expected(kind), it->type_name(), "");
      return nullptr;
    }
    if (kind == Kind::Strings) {
      bool all = true;
      for (std::size_t i = 0; i < it->size(); ++i) {
        if ((*it)[i].is_string()) continue;
        Report(Severity::Error, Element(at, i), "string", (*it)[i].type_name(), "");
        all = false;
      }
      if (!all) return nullptr;
    }
    return &*it;
  }
  const json* Required(const json& parent, const std::string& path, const std::string& key, Kind kind) {
    return Read(parent, path, key, kind, true);
  }
  const json* Optional(const json& parent, const std::string& path, const std::string& key, Kind kind) {
    return Read(parent, path, key, kind, false);
  }
  // "cp" and "ctu": links the wizard shows. One it will not open loads all the same,
  // but the link does nothing (the installer only logs it).
  void OptionalLink(const json& parent, const std::string& path, const std::string& key) {
    const json* link = Optional(parent, path, key, Kind::String);
    if (link == nullptr) return;
    if (const char* why = WhyNotWebUrl(Widened(link->get_ref<const std::string&>())))
      Warn(Member(path, key), std::string("not a web page (") + why + "): the wizard will not open this link");
  }

  void CheckMainProduct(const json& reply, bool& offersRead);
  void CheckOffer(const json& offer, int index);

 private:
  void CheckPartnerBlock(const json& ps, const std::string& path);
  void CheckTrustFields(const json& block, const std::string& path);
  void CheckConditions(const json& ps, const std::string& path);
  void CheckUninstallChecks(const json& list, const std::string& path);

  std::vector<Problem>& problems_;
  std::optional<int> offer_;
};

void Checker::CheckMainProduct(const json& reply, bool& offersRead) {
  const json* block = Required(reply, "", "i", Kind::Object);
  if (block == nullptr) return;
  const json* title = Required(*block, "i", "ct", Kind::String);
  const json* url = Required(*block, "i", "cu", Kind::String);
  for (const char* key : {"cl", "cf"}) Optional(*block, "i", key, Kind::String);
  for (const char* key : {"cp", "ctu"}) OptionalLink(*block, "i", key);
  for (const char* key : {"ch", "cfl", "cb"}) Optional(*block, "i", key, Kind::String);
  CheckTrustFields(*block, "i");
  const char* configurationError = "empty: the DLM wizard shows its configuration error page";
  if (title != nullptr && title->get_ref<const std::string&>().empty())
    Report(Severity::Error, "i.ct", "non-empty string", "empty string", configurationError);
  if (url != nullptr && url->get_ref<const std::string&>().empty())
    Report(Severity::Error, "i.cu", "non-empty string", "empty string", configurationError);
  const auto channel = block->find("ch");
  if (channel != block->end() && *channel == "00xA" && offersRead) {
    offersRead = false;
    Warn("o", "not read: the channel \"00xA\" takes the offers out of the campaign");
  }
}

void Checker::CheckOffer(const json& offer, int index) {
  offer_ = index;
  const std::string base = Element("o", static_cast<std::size_t>(index));
  if (!offer.is_object()) {
    Report(Severity::Error, base, "object", offer.type_name(), "");
    return;
  }
  if (const json* ad = Required(offer, base, "ad", Kind::Object)) {
    Required(*ad, base + ".ad", "f", Kind::String);
    Required(*ad, base + ".ad", "o", Kind::String);
  }
  const json* ps = Required(offer, base, "ps", Kind::Object);
  if (ps == nullptr) return;
  const std::string path = base + ".ps";
  for (const char* key : {"i", "dn"}) Required(*ps, path, key, Kind::String);
  const json* url = Required(*ps, path, "u", Kind::String);
  const json* pn = Optional(*ps, path, "pn", Kind::Boolean);
  if (pn != nullptr && pn->get<bool>()) {
    CheckPartnerBlock(*ps, path);
  } else {
    std::string ignored;
    for (const char* key : {"pnau", "pnak", "pnr", "pnop", "pnsi", "la", "pnrp", "sp", "cfs"})
      if (ps->contains(key)) ignored += (ignored.empty() ? "" : ", ") + std::string(key);
    if (!ignored.empty())
      Warn(Member(path, "pn"), "not true: " + ignored + " not read (they belong to partner offers with \"pn\": true)");
  }
  Optional(*ps, path, "p", Kind::String);
  for (const char* key : {"cp", "ctu"}) OptionalLink(*ps, path, key);
  Optional(*ps, path, "v", Kind::Int);
  Optional(*ps, path, "exc", Kind::Boolean);
  Optional(*ps, path, "c", Kind::String);
  CheckTrustFields(*ps, path);
  if (url != nullptr && NamesZip(url->get<std::string>()) && !ps->contains("sha256"))
    Warn(Member(path, "sha256"),
         "missing, and the URL names a .zip file: a ZIP offer without \"sha256\" runs only when every program, "
         "library and script inside carries a trusted signature");
  CheckConditions(*ps, path);
}

// "sha256" and "signer": what the downloaded file must match before it runs.
void Checker::CheckTrustFields(const json& block, const std::string& path) {
  if (const json* digest = Optional(block, path, "sha256", Kind::String);
      digest != nullptr && !IsSha256Hex(digest->get_ref<const std::string&>()))
    Report(Severity::Error, Member(path, "sha256"), "64 hexadecimal digits", digest->dump(), "");
  if (const json* signer = Optional(block, path, "signer", Kind::String);
      signer != nullptr && signer->get_ref<const std::string&>().empty())
    Report(Severity::Error, Member(path, "signer"), "non-empty string", "empty string", "");
}

void Checker::CheckPartnerBlock(const json& ps, const std::string& path) {
  for (const char* key : {"pnau", "pnak", "pnop"}) Optional(ps, path, key, Kind::String);
  // Expansion cannot mend what the text already breaks; where it breaks a good text,
  // the run says so (campaign_check.cpp).
  if (const json* pnr = Optional(ps, path, "pnr", Kind::String))
    if (auto warning = MarkerPathWarning(*offer_, pnr->get<std::string>(), false)) problems_.push_back(std::move(*warning));
  Optional(ps, path, "pnsi", Kind::Boolean);
  Optional(ps, path, "la", Kind::String);
  if (const auto pnrp = ps.find("pnrp"); pnrp != ps.end()) {
    const std::string at = Member(path, "pnrp");
    if (!pnrp->is_object()) {
      Warn(at, std::string("a ") + pnrp->type_name() + ", not an object: not read, {pnrparam} stays empty");
    } else {
      // "default" is always read; a version's value only on Windows of that version.
      for (const auto& [version, value] : pnrp->items()) {
        if (value.is_string()) continue;
        std::string condition;
        if (version.empty()) {
          condition = "where the Windows version cannot be read";
        } else if (version != "default") {
          condition = "on Windows " + version;
        }
        Report(Severity::Error, Member(at, version), "string", value.type_name(), "", condition);
      }
    }
  }
  Optional(ps, path, "sp", Kind::String);
  if (const json* cfs = Optional(ps, path, "cfs", Kind::Object)) {
    const std::string at = Member(path, "cfs");
    Optional(*cfs, at, "mb", Kind::Int);
    Optional(*cfs, at, "ab", Kind::Strings);
    Optional(*cfs, at, "ma", Kind::Int);
    Optional(*cfs, at, "aa", Kind::Strings);
    Optional(*cfs, at, "mo", Kind::Int);
    Optional(*cfs, at, "saad", Kind::Boolean);
    Optional(*cfs, at, "sied", Kind::Boolean);
  }
}

void Checker::CheckConditions(const json& ps, const std::string& path) {
  for (const char* key : {"disk", "ram", "cpu"}) {
    const json* value = Optional(ps, path, key, Kind::Unsigned);
    if (value != nullptr && value->is_number_integer() && value->get<std::int64_t>() < 0)
      Warn(Member(path, key), "negative: read as " + std::to_string(NumberAs<std::uint64_t>(*value)) +
                                  ", so no machine meets it");
  }
  if (const json* ov = Optional(ps, path, "ov", Kind::Int)) {
    const int code = NumberAs<int>(*ov);
    if (code >= 1 && code != 61 && code != 62 && code != 63 && code != 100)
      Warn(Member(path, "ov"), std::to_string(code) +
                                   " is not a version code the rules know (61, 62, 63, 100): the offer is always "
                                   "rejected with UNSUPPORTED OS VERSION");
  }
  Optional(ps, path, "pv", Kind::String);
  Optional(ps, path, "win64", Kind::Boolean);
  Optional(ps, path, "x", Kind::Int);
  for (const char* key : {"fe", "ife", "a", "r", "ir", "rvn"}) Optional(ps, path, key, Kind::Strings);
  if (const json* rvd = Optional(ps, path, "rvd", Kind::Strings)) {
    for (std::size_t i = 0; i < rvd->size(); ++i) {
      const std::string& entry = (*rvd)[i].get_ref<const std::string&>();
      const std::string data = entry.substr(entry.rfind('\\') == std::string::npos ? 0 : entry.rfind('\\') + 1);
      // Text data compares with string values; where the machine holds the value as a
      // number, data that is not one, or too large a number, throws and ends the load.
      const auto dword = NumberFailure<std::uint32_t>(data);
      if (!dword) continue;
      const bool qwordToo = NumberFailure<std::uint64_t>(data).has_value();
      const char* holding = qwordToo ? "a DWORD or QWORD" : "a DWORD";
      const std::string what = *dword == "is not a number" ? "the data \"" + data + "\" is not a number"
                                                          : "the number " + data + " does not fit " + holding;
      Warn(Element(Member(path, "rvd"), i), what + ": the whole load fails on a machine that holds this value as " + holding);
    }
  }
  if (const json* cmdu = Optional(ps, path, "cmdu", Kind::Array)) CheckUninstallChecks(*cmdu, Member(path, "cmdu"));
  Optional(ps, path, "eapp", Kind::Strings);
  Optional(ps, path, "iapp", Kind::Strings);
}

void Checker::CheckUninstallChecks(const json& list, const std::string& path) {
  static const char* const kLongRoots[] = {"hkey_local_machine", "hkey_current_user", "hkey_classes_root", "hkey_users",
                                           "hkey_current_config"};
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = Element(path, i);
    const json& entry = list[i];
    if (!entry.is_object()) {
      Report(Severity::Error, at, "object", entry.type_name(), "");
      continue;
    }
    const json* root = Required(entry, at, "utr", Kind::String);
    for (const char* key : {"utk", "utvn", "utvt"}) Required(entry, at, key, Kind::String);
    Required(entry, at, "umd", Kind::Int);
    Optional(entry, at, "utms", Kind::Boolean);
    if (root == nullptr) continue;
    std::string lower = root->get<std::string>();
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (std::find(std::begin(kLongRoots), std::end(kLongRoots), lower) == std::end(kLongRoots))
      Report(Severity::Error, Member(at, "utr"),
             "hkey_local_machine, hkey_current_user, hkey_classes_root, hkey_users or hkey_current_config",
             json(root->get<std::string>()).dump(), "", "when the rules reach this check");
  }
}

}  // namespace

std::vector<Problem> CheckReply(const json& reply, int wizardType) {
  std::vector<Problem> problems;
  Checker checker(problems);
  const bool dlm = wizardType == kWizardDlm;
  if (!reply.is_object()) {
    if (dlm) {
      checker.Report(Severity::Error, "", "object", reply.type_name(), "the DLM wizard reads its product block \"i\" from it");
    } else {
      checker.Warn("", std::string("a ") + reply.type_name() + ", not an object: the installer reads no offers from it");
    }
    return problems;
  }
  checker.Optional(reply, "", "l", Kind::String);
  bool offersRead = reply.contains("o");
  if (dlm) checker.CheckMainProduct(reply, offersRead);
  if (const auto f = reply.find("f"); f != reply.end() && f->is_object()) checker.Optional(*f, "f", "a", Kind::String);
  if (!offersRead) return problems;

  if (const json* f = checker.Required(reply, "", "f", Kind::Object)) {
    if (const json* most = checker.Required(*f, "f", "m", Kind::Int); most != nullptr && NumberAs<int>(*most) < 1)
      checker.Warn("f.m", "below 1: no offer is shown");
  }
  const json& offers = reply["o"];
  if (!offers.is_array()) {
    checker.Report(Severity::Error, "o", "array", offers.type_name(), "");
    return problems;
  }
  for (std::size_t i = 0; i < offers.size(); ++i) checker.CheckOffer(offers[i], static_cast<int>(i));
  return problems;
}

std::optional<Problem> MarkerPathWarning(int offer, const std::string& path, bool expanded) {
  // A partner offer without "pnr" has no marker to write.
  if (path.empty()) return std::nullopt;
  const MarkerPath marker = CheckMarkerPath(Utf8ToWide(path));
  if (marker.refusal.empty()) return std::nullopt;
  Problem warning;
  warning.severity = Severity::Warning;
  warning.offer = offer;
  warning.path = Element("o", static_cast<std::size_t>(offer)) + ".ps.pnr";
  warning.message = (expanded ? "expands to " + json(path).dump() + ": " : std::string()) +
                    "the installer writes no partner date marker there (" + marker.refusal +
                    "); it takes a vendor's key below HKLM\\SOFTWARE, outside Policies, Microsoft and Classes";
  return warning;
}

bool HasErrors(const std::vector<Problem>& problems) {
  return std::any_of(problems.begin(), problems.end(), [](const Problem& p) { return p.severity == Problem::Severity::Error; });
}

}  // namespace ostrane::campaign_check
