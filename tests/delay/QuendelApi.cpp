#include "delay/QuendelApi.h"

#include "delay/CorrLibrary.h"
#include "quendel/QuendelImage.h"

#include <dlfcn.h>
#include <stdexcept>

namespace vintrel::test {

const QuendelApi& EmbeddedQuendel() {
    static CorrLibrary library; // stays loaded for the whole test program, as in the program
    static const QuendelApi api = [] {
        if (library.LoadDll(QuendelImage()) != LoadDllStatus::Loaded)
            throw std::runtime_error(library.Message());
        const CorrEntryPoints& e = library.Entries();
        return QuendelApi{e.CreateObj, e.PutFrame, e.GetCorr, e.FreeObj};
    }();
    return api;
}

const QuendelApi& FileQuendel() {
    static const QuendelApi api = [] {
        void* h = dlopen(VINTREL_QUENDEL_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!h) throw std::runtime_error(dlerror());
        return QuendelApi{reinterpret_cast<corr_init_fn>(dlsym(h, "corr_init")),
                          reinterpret_cast<corr_put_frame_fn>(dlsym(h, "corr_put_frame")),
                          reinterpret_cast<corr_state_fn>(dlsym(h, "corr_state")),
                          reinterpret_cast<corr_destroy_fn>(dlsym(h, "corr_destroy"))};
    }();
    return api;
}

void* CreateWindowEstimator(const QuendelApi& api, int length) {
    void* obj = nullptr;
    if (api.init(&obj, 8000, length, 200, 1200, 200, 0.2, 0.2, 0.3) != 0) return nullptr;
    return obj;
}

void Put(const QuendelApi& api, void* obj, const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    api.put(obj, a.data(), b.data(), int32_t(a.size()));
}

} // namespace vintrel::test
