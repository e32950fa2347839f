// Where an offer's partner date marker goes: its "pnr" once placeholders are
// expanded, as the registry path rules take it.
#pragma once

#include "eligibility/registry_path.h"

namespace ostrane {

class Package;

// The expanded "pnr" checked by CheckMarkerPath; refused should its conversion fail.
MarkerPath PartnerMarkerPath(const Package& package);

}  // namespace ostrane
