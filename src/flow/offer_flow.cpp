#include "flow/offer_flow.h"

#include <cstdint>

#include <climits>

#include "settings/configuration_manager.h"

namespace ostrane {

bool OfferPageShowsSkipAll(int position, int acceptedByRules, int maxOnly) {
  // In 64 bits: "mo" comes from the campaign, and INT_MIN - 1 overflows an int.
  const auto last = [position](int count) { return std::int64_t{position} == std::int64_t{count} - 1; };
  return !last(acceptedByRules) && !last(maxOnly);
}

std::shared_ptr<Package> OfferFlow::CurrentOffer() const {
  if (current_ < 0 || static_cast<std::size_t>(current_) >= offers_.size()) return nullptr;
  return offers_[current_];
}

void OfferFlow::OnDecline(bool skipAll) {
  if (skipAll) skipAll_ = true;
  if (const auto offer = CurrentOffer(); offer && offer->m_showLimits.skipAllAfterDecline) declineStop_ = true;
}

int OfferFlow::CountSkippedOffers(int followingOfferPages, ConfigurationManager& settings,
                                  std::vector<PassedOver>& passed) {
  int skipped = 0;
  while (skipped < followingOfferPages && static_cast<std::size_t>(current_ + 1) < offers_.size()) {
    ++current_;
    const std::shared_ptr<Package>& offer = offers_[current_];
    bool skipThis = false;
    if (!skipAll_ && !declineStop_ && !exhausted_) {
      // A "sied" offer is for users who have declined nothing; it gives back the
      // room it made in the maximum.
      if (settings.m_offerDeclined && offer->m_showLimits.skipIfEarlierDeclined) {
        skipThis = true;
        offer->m_showLimits.maxOnly = INT_MAX;
        --settings.m_offerFlowCount;
      }
      for (int earlier = 0; earlier < current_; ++earlier) {
        if (current_ >= offers_[earlier]->m_showLimits.maxOnly) {
          exhausted_ = true;
          break;
        }
      }
    }
    if (!skipAll_ && !declineStop_ && !exhausted_ && !skipThis) break;  // this offer's page is shown

    std::string reason;
    if (skipAll_) {
      reason = "SKIP ALL CLICKED";
    } else if (skipThis) {
      reason = "SKIPPED BECAUSE OF EARLIER DECLINE";
    } else if (exhausted_) {
      reason = "EXCEEDED MAX NUMBER OF OFFERS IN FLOW";
    } else {
      reason = "SKIP ALL AFTER DECLINE OFFER DECLINED";
    }
    passed.push_back({offer, std::move(reason), current_ < settings.m_maxOffers});
    ++skipped;
  }
  return skipped;
}

}  // namespace ostrane
