// AVX2 forms of the restoring method's kernels.
#include "restore/restore_kernels.h"

namespace restore::detail {

void InitAvx2(RestoreKernels&) {}

}  // namespace restore::detail
