/* libQuendel: the delay estimator library.
 *
 * Keeps the most recent stretch of two 16-bit signals sampled at a common rate and computes
 * their band-limited, normalised cross-correlation on request: the lag of the correlation peak,
 * the peak's normalised height, the band-limited RMS of each signal and three warning bits.
 *
 * Each estimator is an opaque object created by corr_init and freed by corr_destroy; the
 * library keeps no global state. An object has no locking of its own: one caller thread at a
 * time per object. */
#ifndef QUENDEL_H
#define QUENDEL_H

#include <stddef.h>
#include <stdint.h>

#if defined(QUENDEL_BUILD)
#define QUENDEL_API __attribute__((visibility("default")))
#else
#define QUENDEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The result record, 40 bytes, little-endian; both sides of the library share this layout. */
typedef struct TCorrRes {
    int32_t warnings; /* bit 0: rms_a < rms_a_min; bit 1: rms_b < rms_b_min; bit 2: max < max_min */
    int32_t delay;    /* lag of the peak in samples, -N/2 < delay <= N/2; positive when A lags B */
    double max;       /* normalised height of the peak, 0 .. 1 (0 when a signal has no power in the band) */
    double rms_b;     /* band-limited RMS of signal B */
    double rms_a;     /* band-limited RMS of signal A */
    double pwr;       /* rms_a x rms_b */
} TCorrRes;

#define CORR_WARN_RMS_A 1
#define CORR_WARN_RMS_B 2
#define CORR_WARN_MAX 4

/* Creates an estimator. fs: sampling rate in Hz; length: wanted history in samples (the
 * transform length N is the smallest power of two >= length and >= 4); f_low, f_high, f_trans:
 * band edges and ramp width in Hz; then the three warning thresholds.
 * Returns 0 and stores the object in *obj_out; -2 when the parameters are refused; -1 when the
 * object's memory cannot be had. On failure nothing stays allocated and *obj_out is untouched. */
QUENDEL_API int32_t corr_init(void** obj_out, int32_t fs, int32_t length, int32_t f_low, int32_t f_high,
                              int32_t f_trans, double rms_a_min, double rms_b_min, double max_min);

/* Appends count samples of each signal to the history. */
QUENDEL_API void corr_put_frame(void* obj, const int16_t* samples_a, const int16_t* samples_b, int32_t count);

/* The estimate over the current history; the history is not changed. */
QUENDEL_API TCorrRes corr_state(void* obj);

/* Frees the object and everything it owns; non-zero on success. */
QUENDEL_API int32_t corr_destroy(void* obj);

/* Pointer types for callers that bind the exports by name. */
typedef int32_t (*corr_init_fn)(void**, int32_t, int32_t, int32_t, int32_t, int32_t, double, double, double);
typedef void (*corr_put_frame_fn)(void*, const int16_t*, const int16_t*, int32_t);
typedef TCorrRes (*corr_state_fn)(void*);
typedef int32_t (*corr_destroy_fn)(void*);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(TCorrRes) == 40, "TCorrRes is 40 bytes");
static_assert(offsetof(TCorrRes, warnings) == 0 && offsetof(TCorrRes, delay) == 4 &&
                  offsetof(TCorrRes, max) == 8 && offsetof(TCorrRes, rms_b) == 16 &&
                  offsetof(TCorrRes, rms_a) == 24 && offsetof(TCorrRes, pwr) == 32,
              "TCorrRes field offsets");
#else
_Static_assert(sizeof(TCorrRes) == 40, "TCorrRes is 40 bytes");
#endif

#endif /* QUENDEL_H */
