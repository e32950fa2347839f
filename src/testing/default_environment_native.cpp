// Native test programs run on a fake machine.
#include "testing/fake_system_environment.h"

namespace ostrane {

SystemEnvironment& DefaultSystemEnvironment() {
  static testing::FakeSystemEnvironment environment;
  return environment;
}

}  // namespace ostrane
