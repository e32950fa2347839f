// Which offer pages the wizard passes over after the user leaves an offer page, and
// why: a model the wizard maps onto its pages, tested on its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "campaign/package.h"

namespace ostrane {

class ConfigurationManager;

// An offer passed over without its page being shown.
struct PassedOver {
  std::shared_ptr<Package> package;
  std::string reason;
  bool reported = false;  // only offers within the campaign's maximum are reported
};

// Whether an offer's page offers Skip All: not where nothing could follow it, that is
// on the last offer the rules kept (position acceptedByRules - 1) or on an offer whose
// own "mo" limit ends the flow after it (position maxOnly - 1). Any "mo" the campaign
// sends is safe here, the most negative included.
bool OfferPageShowsSkipAll(int position, int acceptedByRules, int maxOnly);

class OfferFlow {
 public:
  // The offers the loading task accepted, one page each, in order.
  void SetOffers(std::vector<std::shared_ptr<Package>> offers) { offers_ = std::move(offers); }
  const std::vector<std::shared_ptr<Package>>& offers() const { return offers_; }

  // The user's answer on the current offer page. Skip All and a decline of an offer
  // with "saad" pass over every later offer.
  void OnDecline(bool skipAll);

  // Advances past the offers whose pages are to be passed over, of the
  // followingOfferPages pages right after the current one; appends them to passed.
  // Returns how many pages that is; the page after them is shown next.
  int CountSkippedOffers(int followingOfferPages, ConfigurationManager& settings, std::vector<PassedOver>& passed);

  std::shared_ptr<Package> CurrentOffer() const;
  int currentOffer() const { return current_; }
  bool skipAllClicked() const { return skipAll_; }
  bool declineStop() const { return declineStop_; }
  bool offersExhausted() const { return exhausted_; }

 private:
  std::vector<std::shared_ptr<Package>> offers_;
  int current_ = 0;
  bool skipAll_ = false;
  bool declineStop_ = false;
  bool exhausted_ = false;
};

}  // namespace ostrane
