#include "campaign_run.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "eligibility/campaign_loader.h"
#include "eligibility/machine_profile.h"
#include "eligibility/offer_rules.h"
#include "eligibility/registry_error.h"
#include "flow/offer_flow.h"
#include "system/encoding.h"
#include "net/request_context.h"
#include "net/server_link.h"
#include "system/text_convert.h"
#include "settings/configuration_manager.h"

#ifdef _WIN32
#include "system/system_facts.h"
#else
#include <openssl/evp.h>
#endif

namespace ostrane::campaign_check {

using nlohmann::json;

// The records the packages post, in the order they arrive. The runner waits for each
// send before the next is made, so arrival order is the order of the calls.
class EventLog {
 public:
  void Record(int offer, json record) {
    std::lock_guard lock(mutex_);
    events_.push_back({phase_, offer, std::move(record)});
  }
  void SetPhase(SentEvent::Phase phase) {
    std::lock_guard lock(mutex_);
    phase_ = phase;
  }
  std::vector<SentEvent> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
  }

 private:
  std::mutex mutex_;
  SentEvent::Phase phase_ = SentEvent::Phase::Load;
  std::vector<SentEvent> events_;
};

namespace {

// One per package: the server accepts every post, as a working one does, so a
// delivered terminal event ends the package's analytics as it would for real.
class RecordingLink : public ServerLink {
 public:
  RecordingLink(std::shared_ptr<EventLog> log, int offer) : log_(std::move(log)), offer_(offer) {}

  bool PostJson(const std::wstring&, const std::string& body, HeaderList, std::string& response,
                std::uint32_t& status) override {
    const json envelope = json::parse(body);
    log_->Record(offer_, json::parse(envelope.at("data").get<std::string>()));
    response = "{}";
    status = 200;
    return true;
  }
  void Pause(std::chrono::milliseconds) override {}

 private:
  std::shared_ptr<EventLog> log_;
  int offer_;
};

// The MD5 of the brand word in the ANSI code page, as the installer's offer sources have it.
std::string BrandMd5(const std::wstring& brand) {
#ifdef _WIN32
  return Md5Hex(brand);
#else
  const std::string bytes = WideToAnsi(brand);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) return {};
  return HexLower(std::string_view(reinterpret_cast<const char*>(digest), length));
#endif
}

// A text of the document at a path of keys, when it is one.
std::string TextAt(const json& value, std::initializer_list<const char*> keys) {
  const json* at = &value;
  for (const char* key : keys) {
    if (!at->is_object()) return {};
    const auto it = at->find(key);
    if (it == at->end()) return {};
    at = &*it;
  }
  return at->is_string() ? at->get<std::string>() : std::string();
}

}  // namespace

CampaignRunner::CampaignRunner(Machine& machine, ConfigurationManager& settings, RunSetup setup)
    : machine_(machine), settings_(settings), setup_(std::move(setup)), log_(std::make_shared<EventLog>()) {}

CampaignRunner::~CampaignRunner() = default;

CampaignRun CampaignRunner::Load(const json& document) {
  CampaignRun run;
  json reply = document;
  if (reply.is_object() && !reply.contains("l") && !setup_.country.empty()) {
    reply["l"] = setup_.country;  // what the server puts in for a user of that country
    run.countryFromProfile = true;
  }

  // What happened to each offer the loader built, seen from the factory's hooks.
  std::vector<std::shared_ptr<Package>> built;
  std::vector<int> acceptedBefore;  // the settings' count when the rules took it up
  std::vector<bool> full;           // the rules' first test: the maximum is met, reading stops
  int contexts = 0;
  bool inRules = false;
  const std::string millis = std::to_string(setup_.nowSeconds * 1000);

  OfferFactory factory;
  factory.makeContext = [&] {
    ++contexts;
    inRules = false;
    return BuildRequestContext(RequestFactsFrom(settings_, setup_.windowsVersion, machine_.IsWow64()));
  };
  factory.makeSources = [&] {
    OfferSources sources = OfferSourcesFrom(settings_, BrandMd5(settings_.m_brand), MajorMinor(setup_.windowsVersion));
    sources.currentTimeMillis = [millis] { return millis; };
    return sources;
  };
  factory.prepare = [&](Package& package) {
    // The previous offer's report is delivered before this offer can send its own.
    if (!built.empty()) built.back()->WaitForSends();
    package.SetServerLink(std::make_shared<RecordingLink>(log_, static_cast<int>(built.size())));
    built.push_back(package.shared_from_this());
    acceptedBefore.push_back(settings_.m_acceptedByRules);
    full.push_back(OfferLimitReached(settings_.m_acceptedByRules, settings_.m_maxOffers, settings_.m_offerFlowCount));
    inRules = true;
  };

  log_->SetPhase(SentEvent::Phase::Load);
  try {
    CampaignLoad load = LoadCampaign(reply, settings_, machine_, factory);
    run.configurationError = load.configurationError;
    run.loads = !load.configurationError;
    if (run.loads) run.accepted = std::move(load.packages);
  } catch (const win32::RegistryError& error) {
    run.failure = std::string(error.what()) + " (error " + std::to_string(error.code()) + ")";
  } catch (const std::exception& error) {
    run.failure = error.what();
  }
  if (!run.loads && !run.configurationError && contexts > 0) {
    run.failedOffer = contexts - 1;
    run.failedInRules = inRules;
  }
  for (const auto& package : built) package->WaitForSends();
  run.events = log_->Take();
  run.maxOffers = settings_.m_maxOffers;

  for (const auto& package : run.accepted) {
    const auto it = std::find(built.begin(), built.end(), package);
    run.acceptedIndex.push_back(static_cast<int>(it - built.begin()));
  }

  const json* offers = nullptr;
  if (reply.is_object() && reply.contains("o") && reply["o"].is_array()) offers = &reply["o"];
  if (offers == nullptr) return run;
  for (std::size_t i = 0; i < offers->size(); ++i) {
    OfferOutcome outcome;
    outcome.index = static_cast<int>(i);
    outcome.id = TextAt((*offers)[i], {"ad", "o"});
    outcome.name = TextAt((*offers)[i], {"ps", "dn"});
    if (i < built.size()) {
      const int after = i + 1 < built.size() ? acceptedBefore[i + 1] : settings_.m_acceptedByRules;
      outcome.position = built[i]->m_position;
      const auto reported = std::find_if(run.events.begin(), run.events.end(), [&](const SentEvent& event) {
        return event.offer == static_cast<int>(i) && event.record.value("6", "") == "2";
      });
      if (run.failedOffer == static_cast<int>(i)) {
        outcome.kind = OfferOutcome::Kind::Failed;
      } else if (after > acceptedBefore[i]) {
        outcome.kind = OfferOutcome::Kind::Accepted;
      } else if (reported != run.events.end()) {
        outcome.kind = OfferOutcome::Kind::Rejected;
        outcome.reason = reported->record.value("13", "");
      } else {
        outcome.kind = full[i] ? OfferOutcome::Kind::Stopped : OfferOutcome::Kind::Unreported;
      }
    } else if (run.failedOffer == static_cast<int>(i)) {
      outcome.kind = OfferOutcome::Kind::Failed;  // its reading threw
    }
    run.offers.push_back(std::move(outcome));
  }

  if (built.size() < offers->size()) {
    if (run.configurationError) {
      run.stopReason = "the DLM product block has no title or no download URL";
    } else if (!run.loads) {
      run.stopReason = "the load failed";
    } else if (built.empty()) {
      run.stopReason = "the channel \"00xA\" takes the offers out of the campaign";
    } else if (run.offers[built.size() - 1].kind == OfferOutcome::Kind::Stopped) {
      run.stopReason = "the maximum of " + std::to_string(OfferLimit(run.maxOffers, settings_.m_offerFlowCount)) +
                       " offers is reached";
    } else if (built.back()->m_exclusive) {
      run.stopReason = "o[" + std::to_string(built.size() - 1) + "] is exclusive: it is shown alone";
    }
  }
  return run;
}

int CampaignRunner::IndexOf(const CampaignRun& run, const std::shared_ptr<Package>& package) const {
  const auto it = std::find(run.accepted.begin(), run.accepted.end(), package);
  return run.acceptedIndex[static_cast<std::size_t>(it - run.accepted.begin())];
}

void CampaignRunner::SendAndWait(CampaignRun& run, const std::shared_ptr<Package>& package, int code,
                                 const json& parameters) {
  log_->SetPhase(SentEvent::Phase::Flow);
  package->SendEvent(code, parameters);
  package->WaitForSends();
  for (SentEvent& event : log_->Take()) run.events.push_back(std::move(event));
}

// What the wizard does with the answers: the offer page (pages/product_page.cpp)
// declines and reports before it tells the wizard, the wizard (app/ostrane_dlg.cpp
// OnButton) asks the offer flow which following pages to pass over and reports them.
void CampaignRunner::PlayFlow(CampaignRun& run, const std::vector<Answer>& answers) {
  FlowResult result;
  OfferFlow flow;
  flow.SetOffers(run.accepted);
  const auto& offers = run.accepted;
  const auto count = static_cast<int>(offers.size());
  int page = 0;
  if (count > 0) result.pages.push_back({run.acceptedIndex[0], std::nullopt});
  for (std::size_t n = 0; n < answers.size(); ++n) {
    const Answer answer = answers[n];
    const std::string which = "answer " + std::to_string(n + 1);
    if (page >= count)
      throw std::invalid_argument(which + ": no offer page is left to answer (" + std::to_string(result.pages.size()) +
                                  " shown)");
    const std::shared_ptr<Package>& package = offers[static_cast<std::size_t>(page)];
    // The page hides Skip All where nothing could follow (ProductPage::OnInitDialog).
    if (answer == Answer::SkipAll && !OfferPageShowsSkipAll(package->m_position, settings_.m_acceptedByRules,
                                                            package->m_showLimits.maxOnly))
      throw std::invalid_argument(which + ": the page of o[" + std::to_string(run.acceptedIndex[page]) +
                                  "] has no Skip All button, nothing can follow it");
    result.pages.back().answer = answer;
    if (answer == Answer::Accept) {
      result.accepted.push_back(run.acceptedIndex[page]);
    } else {
      settings_.m_offerDeclined = true;
      SendAndWait(run, package, kEventDeclined, json::object());
      flow.OnDecline(answer == Answer::SkipAll);
    }
    std::vector<PassedOver> passed;
    const int skipped = flow.CountSkippedOffers(count - page - 1, settings_, passed);
    for (const PassedOver& over : passed) {
      result.passed.push_back({IndexOf(run, over.package), over.reason, over.reported});
      if (over.reported) SendAndWait(run, over.package, kEventPassedOver, json{{"13", over.reason}});
    }
    page += 1 + skipped;
    if (page < count) result.pages.push_back({run.acceptedIndex[page], std::nullopt});
  }
  run.flow = std::move(result);
}

std::vector<std::string> UnexpandedPlaceholders(const std::string& text) {
  std::vector<std::string> tokens;
  for (auto open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
    const auto close = text.find('}', open + 1);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 1, close - open - 1);
    const bool word = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
    if (word) tokens.push_back("{" + name + "}");
  }
  return tokens;
}

}  // namespace ostrane::campaign_check
