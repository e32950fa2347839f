// The request facts of a made-up run, for native tests of records and packages.
#pragma once

#include "net/request_context.h"

namespace ostrane::testing {

inline constexpr char kSampleGuid[] = "{8a3e4f1c-0000-4b6e-9d2a-5f1e2d3c4b5a}";
inline constexpr char kSampleTimestamp[] = "20240131235959";

// Before the campaign reply: no flow tag, no channel.
inline RequestFacts SampleRequestFacts() {
  RequestFacts facts;
  facts.machineGuid = kSampleGuid;
  facts.timestamp = kSampleTimestamp;
  facts.brand = L"Quillara";
  facts.productId = L"QuillaraWeb";
  facts.fileVersion = L"1.0.0.7";
  facts.productName = L"Quillara Web";
  facts.osVersion = "10.0.19045";
  return facts;
}

inline RequestContext SampleRequestContext() { return BuildRequestContext(SampleRequestFacts()); }

}  // namespace ostrane::testing
