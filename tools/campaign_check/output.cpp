#include "output.h"

#include <algorithm>
#include <climits>
#include <iomanip>

#include "campaign/package.h"

namespace ostrane::campaign_check {
namespace {

using nlohmann::json;
using Kind = OfferOutcome::Kind;

std::string Label(const CampaignRun& run, int index) {
  std::string label = "o[" + std::to_string(index) + "]";
  if (static_cast<std::size_t>(index) < run.offers.size() && !run.offers[index].id.empty())
    label += " " + run.offers[index].id;
  return label;
}

// Offers the loader never came to: their problems do not fail this load.
bool ReadHere(const Report& report, const Problem& problem) {
  if (!problem.offer) return true;
  const auto index = static_cast<std::size_t>(*problem.offer);
  return index >= report.run.offers.size() || report.run.offers[index].kind != Kind::NotRead;
}

const char* OutcomeName(Kind kind) {
  switch (kind) {
    case Kind::Accepted: return "accepted";
    case Kind::Rejected: return "rejected";
    case Kind::Unreported: return "unreported";
    case Kind::Stopped: return "stopped";
    case Kind::Failed: return "failed";
    case Kind::NotRead: return "not read";
  }
  return "";
}

std::string Describe(const CampaignRun& run, const OfferOutcome& offer) {
  switch (offer.kind) {
    case Kind::Accepted:
      if (!run.loads) return "passed the rules, position " + std::to_string(offer.position + 1) + "; not shown";
      return "accepted, position " + std::to_string(offer.position + 1);
    case Kind::Rejected: return "rejected: " + offer.reason;
    case Kind::Unreported: return "rejected, no reason reported (the campaign's maximum was already accepted)";
    case Kind::Stopped: return "not shown: the maximum is reached, reading stops here";
    case Kind::Failed: return "FAILS THE WHOLE LOAD";
    case Kind::NotRead: return "not read";
  }
  return "";
}

std::string FailurePlace(const CampaignRun& run) {
  if (!run.failedOffer) return "reading the document";
  return std::string(run.failedInRules ? "in the rules for " : "reading ") + "o[" + std::to_string(*run.failedOffer) + "]";
}

std::string Consequence(const Report& report) {
  if (report.wizard == "DLM") return "The DLM wizard shows its configuration error page.";
  return "The wizard goes on without offers: every user of this installer gets none.";
}

int OffersRead(const CampaignRun& run) {
  return static_cast<int>(std::count_if(run.offers.begin(), run.offers.end(),
                                        [](const OfferOutcome& offer) { return offer.kind != Kind::NotRead; }));
}

const char* PhaseName(SentEvent::Phase phase) { return phase == SentEvent::Phase::Load ? "load" : "flow"; }

struct Expanded {
  const char* name;
  std::string value;
};

std::vector<Expanded> ExpandedTexts(const Package& package) {
  std::vector<Expanded> texts = {{"id", package.m_id},
                                 {"name", package.m_displayName},
                                 {"url", package.m_url},
                                 {"arguments", package.m_arguments},
                                 {"privacy", package.m_privacyUrl},
                                 {"terms", package.m_termsUrl},
                                 {"channel", package.m_channel}};
  if (package.m_pn.enabled) texts.push_back({"stub", package.m_pn.stubParameters});
  // What the downloaded file must match; taken as written, without placeholders.
  if (!package.m_trust.sha256.empty()) texts.push_back({"sha256", package.m_trust.sha256});
  if (!package.m_trust.signer.empty()) texts.push_back({"signer", package.m_trust.signer});
  return texts;
}

void WriteProblems(const Report& report, std::ostream& out) {
  int errors = 0;
  int warnings = 0;
  for (const auto& problem : report.problems) ++(problem.severity == Problem::Severity::Error ? errors : warnings);
  if (report.problems.empty()) {
    out << "Problems: none\n";
    return;
  }
  out << "Problems: ";
  if (errors > 0) out << errors << (errors == 1 ? " error" : " errors") << (warnings > 0 ? ", " : "");
  if (warnings > 0) out << warnings << (warnings == 1 ? " warning" : " warnings");
  out << "\n";
  for (const auto& problem : report.problems) {
    out << (problem.severity == Problem::Severity::Error ? "  error    " : "  warning  ")
        << (problem.path.empty() ? "the document" : problem.path) << ": ";
    if (!problem.expected.empty()) out << "expected " << problem.expected << ", found " << problem.found;
    if (!problem.expected.empty() && !problem.message.empty()) out << "; ";
    out << problem.message;
    if (!problem.condition.empty()) out << " (fails the load " << problem.condition << ")";
    if (!ReadHere(report, problem)) out << " [not reached on this machine]";
    out << "\n";
  }
}

void WriteVerdict(const Report& report, std::ostream& out) {
  const CampaignRun& run = report.run;
  if (run.loads) {
    const int read = OffersRead(run);
    out << "Verdict  LOADS: ";
    if (read == 0) {
      out << "no offers are read\n";
    } else {
      out << read << " of " << run.offers.size() << " offers read, " << run.accepted.size() << " accepted (maximum "
          << run.maxOffers << ")\n";
    }
    if (HasErrors(report.problems))
      out << "         The errors above fail the whole load where the installer reads them: on other machines,\n"
             "         or once earlier offers change.\n";
  } else if (run.configurationError) {
    out << "Verdict  FAILS: the DLM product block has no title or no download URL\n         " << Consequence(report)
        << "\n";
  } else {
    out << "Verdict  FAILS THE WHOLE LOAD " << FailurePlace(run) << ": " << run.failure << "\n         "
        << Consequence(report) << "\n";
  }
}

void WriteOffers(const CampaignRun& run, std::ostream& out) {
  if (run.offers.empty()) return;
  out << "\nOffers\n";
  std::size_t width = 0;
  for (const auto& offer : run.offers) width = std::max(width, Label(run, offer.index).size() + offer.name.size() + 3);
  for (const auto& offer : run.offers) {
    const std::string label = Label(run, offer.index) + (offer.name.empty() ? "" : " \"" + offer.name + "\"");
    out << "  " << std::left << std::setw(static_cast<int>(width)) << label << "  " << Describe(run, offer) << "\n";
  }
  if (!run.stopReason.empty()) out << "  Reading stopped: " << run.stopReason << "\n";
}

void WriteFlow(const Report& report, std::ostream& out) {
  const CampaignRun& run = report.run;
  out << "\nOffer pages\n";
  if (!run.flow || run.flow->pages.empty()) {
    out << "  none: " << (run.loads ? "no offer passed the rules" : "the load failed") << "\n";
    return;
  }
  const FlowResult& flow = *run.flow;
  std::size_t passed = 0;
  for (std::size_t i = 0; i < flow.pages.size(); ++i) {
    const auto& page = flow.pages[i];
    out << "  page " << i + 1 << "  " << Label(run, page.offer) << ": "
        << (page.answer ? AnswerName(*page.answer) : "not answered") << "\n";
    // Passed-over pages come between this page and the next one shown.
    const int next = i + 1 < flow.pages.size() ? flow.pages[i + 1].offer : INT_MAX;
    for (; passed < flow.passed.size() && flow.passed[passed].offer < next; ++passed) {
      const auto& over = flow.passed[passed];
      out << "          " << Label(run, over.offer) << ": passed over, " << over.reason
          << (over.reported ? "" : " (not reported: beyond the campaign's maximum)") << "\n";
    }
  }
  out << "  To download:";
  if (flow.accepted.empty()) out << " no offer";
  for (const int offer : flow.accepted) out << " " << Label(run, offer);
  out << "\n";
}

void WriteEvents(const CampaignRun& run, std::ostream& out) {
  out << "\nEvents, in the order the installer sends them\n";
  if (run.events.empty()) out << "  none\n";
  for (std::size_t i = 0; i < run.events.size(); ++i) {
    const SentEvent& event = run.events[i];
    const json& record = event.record;
    out << "  " << std::right << std::setw(2) << i + 1 << ". " << PhaseName(event.phase) << "  "
        << Label(run, event.offer) << "  6=" << record.value("6", "") << "  17=" << record.value("17", "");
    for (const char* key : {"13", "12"}) {
      const std::string text = record.value(key, "");
      if (!text.empty()) out << "  " << key << "=" << json(text).dump();
    }
    out << "\n";
  }
}

void WriteExpanded(const CampaignRun& run, std::ostream& out) {
  out << "\nExpanded offers\n";
  if (run.accepted.empty()) out << "  none: no offer passed the rules\n";
  for (std::size_t i = 0; i < run.accepted.size(); ++i) {
    const Package& package = *run.accepted[i];
    out << "  " << Label(run, run.acceptedIndex[i]) << "\n";
    for (const auto& [name, value] : ExpandedTexts(package)) {
      out << "    " << std::left << std::setw(12) << name << value << "\n";
      for (const auto& token : UnexpandedPlaceholders(value))
        out << "    " << std::setw(12) << "" << "^ " << token << " left as written: no such placeholder when this text is expanded\n";
    }
    out << "    placeholders\n";
    for (const auto& [name, value] : package.m_placeholders.entries())
      out << "      " << std::left << std::setw(14) << name << value << "\n";
  }
}

}  // namespace

const char* AnswerName(Answer answer) {
  switch (answer) {
    case Answer::Accept: return "accept";
    case Answer::Decline: return "decline";
    case Answer::SkipAll: return "skip-all";
  }
  return "";
}

void WriteText(const Report& report, std::ostream& out) {
  out << "Reply    " << report.replyPath << " (" << report.wizard << " wizard)\n";
  out << "Machine  " << (report.machinePath.empty() ? "the default machine" : report.machinePath) << ": Windows "
      << report.windowsVersion << (report.wow64 ? ", 64-bit" : ", 32-bit") << "\n";
  if (report.run.countryFromProfile) out << "Country  \"" << report.country << "\" from the profile: the reply has no \"l\"\n";
  out << "\n";
  if (report.notJson) {
    out << "Problems: 1 error\n  error    the document: not JSON: " << *report.notJson << "\n";
    out << "Verdict  FAILS THE WHOLE LOAD: the installer cannot read the reply\n         " << Consequence(report) << "\n";
    return;
  }
  WriteProblems(report, out);
  WriteVerdict(report, out);
  WriteOffers(report.run, out);
  if (report.run.flow || !report.answers.empty()) {
    WriteFlow(report, out);
    WriteEvents(report.run, out);
  }
  if (report.expand) WriteExpanded(report.run, out);
}

nlohmann::ordered_json ToJson(const Report& report) {
  using json = nlohmann::ordered_json;
  const CampaignRun& run = report.run;
  json out = {{"reply", report.replyPath},
              {"wizard", report.wizard},
              {"machine", {{"profile", report.machinePath.empty() ? json(nullptr) : json(report.machinePath)},
                           {"windows", report.windowsVersion},
                           {"wow64", report.wow64}}},
              {"country", report.country},
              {"countryFromProfile", run.countryFromProfile}};

  json problems = json::array();
  if (report.notJson) {
    problems.push_back({{"severity", "error"}, {"offer", nullptr}, {"path", ""}, {"message", "not JSON: " + *report.notJson}});
  }
  for (const auto& problem : report.problems) {
    json item = {{"severity", problem.severity == Problem::Severity::Error ? "error" : "warning"},
                 {"offer", problem.offer ? json(*problem.offer) : json(nullptr)},
                 {"path", problem.path},
                 {"readHere", ReadHere(report, problem)}};
    if (!problem.expected.empty()) item.update({{"expected", problem.expected}, {"found", problem.found}});
    if (!problem.message.empty()) item["message"] = problem.message;
    if (!problem.condition.empty()) item["condition"] = problem.condition;
    problems.push_back(std::move(item));
  }
  out["problems"] = problems;
  out["loads"] = run.loads;
  if (report.notJson) {
    out["failure"] = {{"stage", "document"}, {"offer", nullptr}, {"error", "not JSON: " + *report.notJson}};
  } else if (run.configurationError) {
    out["failure"] = {{"stage", "configuration"}, {"offer", nullptr}, {"error", "the DLM product block has no title or no download URL"}};
  } else if (!run.loads) {
    out["failure"] = {{"stage", !run.failedOffer ? "document" : run.failedInRules ? "rules" : "offer"},
                      {"offer", run.failedOffer ? json(*run.failedOffer) : json(nullptr)},
                      {"error", run.failure}};
  } else {
    out["failure"] = nullptr;
  }
  out["maxOffers"] = OffersRead(run) > 0 ? json(run.maxOffers) : json(nullptr);

  json offers = json::array();
  for (const auto& offer : run.offers) {
    json item = {{"index", offer.index}, {"id", offer.id}, {"name", offer.name}, {"outcome", OutcomeName(offer.kind)}};
    if (offer.kind == Kind::Rejected) item["reason"] = offer.reason;
    if (offer.kind == Kind::Accepted) item["position"] = offer.position + 1;
    offers.push_back(std::move(item));
  }
  out["offers"] = offers;
  out["stopReason"] = run.stopReason.empty() ? json(nullptr) : json(run.stopReason);

  if (run.flow) {
    json pages = json::array();
    for (const auto& page : run.flow->pages)
      pages.push_back({{"offer", page.offer}, {"answer", page.answer ? json(AnswerName(*page.answer)) : json(nullptr)}});
    json passed = json::array();
    for (const auto& over : run.flow->passed)
      passed.push_back({{"offer", over.offer}, {"reason", over.reason}, {"reported", over.reported}});
    out["flow"] = {{"pages", pages}, {"passedOver", passed}, {"download", run.flow->accepted}};
  } else {
    out["flow"] = nullptr;
  }

  json events = json::array();
  for (const auto& event : run.events) {
    events.push_back({{"phase", PhaseName(event.phase)},
                      {"offer", event.offer},
                      {"code", event.record.value("6", "")},
                      {"13", event.record.value("13", "")},
                      {"12", event.record.value("12", "")},
                      {"17", event.record.value("17", "")},
                      {"record", event.record}});
  }
  out["events"] = events;

  if (report.expand) {
    json expanded = json::array();
    for (std::size_t i = 0; i < run.accepted.size(); ++i) {
      const Package& package = *run.accepted[i];
      json item = {{"offer", run.acceptedIndex[i]}};
      json unexpanded = json::array();
      for (const auto& [name, value] : ExpandedTexts(package)) {
        item[name] = value;
        for (const auto& token : UnexpandedPlaceholders(value)) unexpanded.push_back({{"text", name}, {"token", token}});
      }
      json placeholders = json::array();
      for (const auto& [name, value] : package.m_placeholders.entries())
        placeholders.push_back({{"name", name}, {"value", value}});
      item["placeholders"] = placeholders;
      item["unexpanded"] = unexpanded;
      expanded.push_back(std::move(item));
    }
    out["expanded"] = expanded;
  }
  return out;
}

}  // namespace ostrane::campaign_check
