#include "app/Version.h"

namespace vintrel {

// The build passes the version to this file alone, so a new version recompiles only it.
const char* ProjectVersion() {
    return VINTREL_VERSION;
}

} // namespace vintrel
