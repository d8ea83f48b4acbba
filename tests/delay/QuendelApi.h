#pragma once
// The four exports of libQuendel.so, bound the two ways a program can: from the image the
// program carries, loaded from memory, and from the built library file.
#include "quendel/Quendel.h"

#include <cstdint>
#include <vector>

namespace vintrel::test {

struct QuendelApi {
    corr_init_fn init = nullptr;
    corr_put_frame_fn put = nullptr;
    corr_state_fn state = nullptr;
    corr_destroy_fn destroy = nullptr;
};

// Loaded once per test program from vintrel::QuendelImage() through CorrLibrary::LoadDll.
const QuendelApi& EmbeddedQuendel();
// Opened once with dlopen from the build tree.
const QuendelApi& FileQuendel();

// An estimator with the delay window's band (200..1200 Hz, ramps 200 Hz, 8 kHz) and thresholds.
void* CreateWindowEstimator(const QuendelApi& api, int length);
void Put(const QuendelApi& api, void* obj, const std::vector<int16_t>& a, const std::vector<int16_t>& b);

} // namespace vintrel::test
