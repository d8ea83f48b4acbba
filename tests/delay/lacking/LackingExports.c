/* A stand-in for libQuendel.so that lacks one export: without corr_destroy
 * (LACK_DESTROY) or without corr_state (LACK_STATE). The others do nothing useful. */
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int32_t corr_init(void** obj_out, int32_t fs, int32_t length, int32_t f_low, int32_t f_high,
                         int32_t f_trans, double rms_a_min, double rms_b_min, double max_min) {
    static int object;
    *obj_out = &object;
    return 0;
}

EXPORT void corr_put_frame(void* obj, const int16_t* a, const int16_t* b, int32_t count) {}

#ifndef LACK_STATE
struct Result {
    int32_t warnings, delay;
    double max, rms_b, rms_a, pwr;
};
EXPORT struct Result corr_state(void* obj) {
    struct Result r = {0, 0, 0, 0, 0, 0};
    return r;
}
#endif

#ifndef LACK_DESTROY
EXPORT int32_t corr_destroy(void* obj) { return 1; }
#endif
