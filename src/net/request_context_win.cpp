#include "settings/configuration_manager.h"
#include "net/request_context.h"
#include "system/system_facts.h"

namespace ostrane {

RequestContext MakeRequestContext() {
  return BuildRequestContext(RequestFactsFrom(*ConfigurationManager::Instance(), OsVersionText(), IsWow64()));
}

}  // namespace ostrane
