// The four exports of libQuendel.so: the only symbols the library makes visible.
#include "quendel/CorrEstimator.h"
#include "quendel/Quendel.h"

using quendel::CorrEstimator;

extern "C" {

QUENDEL_API int32_t corr_init(void** obj_out, int32_t fs, int32_t length, int32_t f_low, int32_t f_high,
                              int32_t f_trans, double rms_a_min, double rms_b_min, double max_min) {
    if (!obj_out) return CorrEstimator::kRefused;
    quendel::CorrSettings s;
    s.fs = fs;
    s.length = length;
    s.f_low = f_low;
    s.f_high = f_high;
    s.f_trans = f_trans;
    s.rms_a_min = rms_a_min;
    s.rms_b_min = rms_b_min;
    s.max_min = max_min;
    CorrEstimator* e = nullptr;
    const int32_t status = CorrEstimator::Create(s, &e);
    if (status == CorrEstimator::kOk) *obj_out = e;
    return status;
}

QUENDEL_API void corr_put_frame(void* obj, const int16_t* samples_a, const int16_t* samples_b,
                                int32_t count) {
    if (obj) static_cast<CorrEstimator*>(obj)->PutFrame(samples_a, samples_b, count);
}

QUENDEL_API TCorrRes corr_state(void* obj) {
    if (!obj) return TCorrRes{};
    return static_cast<CorrEstimator*>(obj)->State();
}

QUENDEL_API int32_t corr_destroy(void* obj) {
    if (!obj) return 0;
    CorrEstimator::Destroy(static_cast<CorrEstimator*>(obj));
    return 1;
}

} // extern "C"
