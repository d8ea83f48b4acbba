#pragma once
// The four entry points of the delay estimator library, bound by name to CreateObj, PutFrame,
// GetCorr and FreeObj. The delay analysis calls them; CorrLibrary binds them.
#include "quendel/Quendel.h"

namespace vintrel {

struct CorrEntryPoints {
    corr_init_fn CreateObj = nullptr;
    corr_put_frame_fn PutFrame = nullptr;
    corr_state_fn GetCorr = nullptr;
    corr_destroy_fn FreeObj = nullptr;
    bool Complete() const { return CreateObj && PutFrame && GetCorr && FreeObj; }
};

} // namespace vintrel
