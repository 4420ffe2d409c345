// Off Windows there are no common controls to load.
#include "platform/common_controls.h"

namespace platform {

void InitCommonControlsAsHost() noexcept {}

}  // namespace platform
