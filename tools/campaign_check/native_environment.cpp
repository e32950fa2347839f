// The settings singleton of the native program: Package::SendEvent reads the
// analytics URL from it. Nothing of the machine the tool runs on enters a check.
#include "eligibility/machine_profile.h"

namespace ostrane {

SystemEnvironment& DefaultSystemEnvironment() {
  static ProfileEnvironment environment{ProfileSettings{}};
  return environment;
}

}  // namespace ostrane
