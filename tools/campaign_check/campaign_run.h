// A campaign run through the installer's own code: LoadCampaign for the verdict and
// the accepted offers, the offer rules against a machine, the offer-flow model for
// the user's answers, and the analytics records the packages post, caught by a
// link that records them instead of sending.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "eligibility/machine.h"
#include "campaign/package.h"

namespace ostrane {
class ConfigurationManager;
}

namespace ostrane::campaign_check {

// What the offer constructor and the requests take from the machine besides the
// Machine interface.
struct RunSetup {
  std::string windowsVersion = "10.0.19045";  // "major.minor[.build]"
  std::int64_t nowSeconds = 0;                // {pnsid}
  std::string country;                        // stands in for the reply's "l" when it has none
};

struct OfferOutcome {
  enum class Kind {
    Accepted,    // passed the rules
    Rejected,    // reported with the reason
    Unreported,  // rejected while the maximum was met: the installer reports no reason
    Stopped,     // the maximum was reached: it and everything after it are not read
    Failed,      // reading it failed the whole load
    NotRead,
  };
  int index = 0;     // in "o"
  std::string id;    // "ad"."o" as written
  std::string name;  // "ps"."dn" as written
  Kind kind = Kind::NotRead;
  std::string reason;  // Rejected: the "13" sent
  int position = 0;    // offers accepted before it ("17" is one more)
};

struct SentEvent {
  enum class Phase { Load, Flow } phase = Phase::Load;
  int offer = 0;          // index in "o"
  nlohmann::json record;  // the record the installer posts
};

enum class Answer { Accept, Decline, SkipAll };

struct FlowResult {
  struct Page {
    int offer = 0;  // index in "o"
    std::optional<Answer> answer;
  };
  struct Passed {
    int offer = 0;
    std::string reason;
    bool reported = false;
  };
  std::vector<Page> pages;    // offer pages in the order shown; the last may be unanswered
  std::vector<Passed> passed;  // pages passed over, in order
  std::vector<int> accepted;  // offers the user accepted: they go to the download page
};

struct CampaignRun {
  bool loads = false;
  bool configurationError = false;  // DLM: the product block lacks a title or a URL
  std::string failure;              // what the load threw
  std::optional<int> failedOffer;   // the offer being read or checked when it threw
  bool failedInRules = false;       // else in reading the document
  bool countryFromProfile = false;  // the reply had no "l"
  std::string stopReason;           // why offers were left unread, if any were
  int maxOffers = 0;
  std::vector<OfferOutcome> offers;  // every entry of "o" when offers are read
  std::vector<std::shared_ptr<Package>> accepted;
  std::vector<int> acceptedIndex;  // their indices in "o"
  std::vector<SentEvent> events;   // in the order the installer sends them
  std::optional<FlowResult> flow;
};

class EventLog;

// Runs the load as the loading task does, against the machine and the settings
// (which it fills with the campaign's values).
class CampaignRunner {
 public:
  CampaignRunner(Machine& machine, ConfigurationManager& settings, RunSetup setup);
  ~CampaignRunner();

  CampaignRun Load(const nlohmann::json& reply);
  // Plays the answers on the offer pages of a loaded run as the wizard does; an
  // answer the pages do not allow is refused with std::invalid_argument.
  void PlayFlow(CampaignRun& run, const std::vector<Answer>& answers);

 private:
  void SendAndWait(CampaignRun& run, const std::shared_ptr<Package>& package, int code, const nlohmann::json& parameters);
  int IndexOf(const CampaignRun& run, const std::shared_ptr<Package>& package) const;

  Machine& machine_;                // we don't own it
  ConfigurationManager& settings_;  // we don't own it
  RunSetup setup_;
  std::shared_ptr<EventLog> log_;
};

// The "{name}" tokens left in a text after expansion.
std::vector<std::string> UnexpandedPlaceholders(const std::string& text);

}  // namespace ostrane::campaign_check
