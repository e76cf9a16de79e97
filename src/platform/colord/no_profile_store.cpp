// openProfileStore for a Linux build without GIO: colord cannot be reached,
// and the user learns what the build lacks.
#include "calibration/profile_store.h"

namespace veltrane {

std::unique_ptr<ProfileStore> openProfileStore(std::string& whyNot) {
    whyNot = "this build has no colord support (it was built without libglib2.0-dev)";
    return nullptr;
}

}  // namespace veltrane
