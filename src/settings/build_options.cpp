// What this program was built as. Compiled into each program on its own, so that
// the test variants of the installer (DLM, plain, unknown type) can set their own
// values with compile definitions; otherwise build_config.h decides.
#include "settings/configuration_manager.h"
#include "build_config.h"

namespace ostrane {

BuildOptions CompiledBuildOptions() {
  return BuildOptions{OSTRANE_WIZARD_TYPE_NAME, OSTRANE_QL_FLAVOUR,   OSTRANE_CLASSIC_MODE,
                      OSTRANE_CAMPAIGN_HOST,    OSTRANE_DOWNLOAD_HOST, OSTRANE_WEBSITE_HOST,
                      OSTRANE_REQUIRE_SIGNED,   OSTRANE_MAIN_SIGNER};
}

}  // namespace ostrane
