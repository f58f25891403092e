/* tonebank: a bank of Goertzel filters over the newest second of a mono sample stream.
 *
 * The library holds no global state: every function works on a bank made by goertzel_create.
 * Failures are reported through return values only (null handle, negative bin index, 0.0).
 */
#ifndef TONEBANK_H
#define TONEBANK_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(TONEBANK_BUILDING)
#define TONEBANK_API __declspec(dllexport)
#elif defined(TONEBANK_STATIC)
#define TONEBANK_API
#else
#define TONEBANK_API __declspec(dllimport)
#endif
#else
#define TONEBANK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct goertzel_bank goertzel_bank;

/* Window codes; any other value acts as rectangular. */
enum {
    GOERTZEL_WINDOW_RECTANGULAR = 0,
    GOERTZEL_WINDOW_BLACKMAN = 1,
    GOERTZEL_WINDOW_GAUSSIAN = 2,
    GOERTZEL_WINDOW_BLACKMAN_HARRIS = 3,
    GOERTZEL_WINDOW_HANNING = 4,
    GOERTZEL_WINDOW_HAMMING = 5
};

/* Returns null when the bank cannot be made (also for sample rates below 2 Hz). */
TONEBANK_API goertzel_bank* goertzel_create(uint32_t sample_rate);
TONEBANK_API void goertzel_destroy(goertzel_bank* bank);
/* Returns the bin index (0, 1, 2, ... in call order), or -1 when 1024 bins exist already,
 * -2 when the bin cannot be allocated, -3 when its window table cannot be allocated. */
TONEBANK_API int32_t goertzel_addbin(goertzel_bank* bank, double frequency, double bandwidth);
TONEBANK_API void goertzel_setwindowing(goertzel_bank* bank, int32_t window_type);
TONEBANK_API void goertzel_addsamples(goertzel_bank* bank, const float* samples, uint32_t count);
/* Power of the bin's windowed block, (s1^2 + s2^2 - c*s1*s2) / N^2; 0.0 for unknown or
 * inactive bins. */
TONEBANK_API double goertzel_getresult(goertzel_bank* bank, uint32_t bin);
TONEBANK_API void goertzel_flush(goertzel_bank* bank);

/* Function pointer types for callers that bind the library at run time. */
typedef goertzel_bank* (*goertzel_create_fn)(uint32_t);
typedef void (*goertzel_destroy_fn)(goertzel_bank*);
typedef int32_t (*goertzel_addbin_fn)(goertzel_bank*, double, double);
typedef void (*goertzel_setwindowing_fn)(goertzel_bank*, int32_t);
typedef void (*goertzel_addsamples_fn)(goertzel_bank*, const float*, uint32_t);
typedef double (*goertzel_getresult_fn)(goertzel_bank*, uint32_t);
typedef void (*goertzel_flush_fn)(goertzel_bank*);

#ifdef __cplusplus
}
#endif

#endif /* TONEBANK_H */
