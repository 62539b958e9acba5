// Eight neighbouring windows at once through the first stages, where most
// windows are rejected. Every lane repeats the portable arithmetic exactly:
// integer corner sums, the same float products and sums in the same order,
// the variance in double, and the stage sums in double (two halves of four
// lanes). Neighbouring windows are one or two entries apart in the summed
// tables, so each corner is one load (or two and a shuffle), not a gather.
#include "mask/cascade/haar_cascade_avx2.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define QX_AVX2 __attribute__((target("avx2")))

namespace quexal::detail {
namespace {

constexpr int kLanes = 8;
// A block goes on in vector while this many of its windows are undecided,
// fewer being left to the caller one at a time. Even a single window is
// cheaper here: on eye crops, handing back below three took a fifth longer.
constexpr int kMinUndecided = 1;
// Squared sums are unsigned; a lane read as negative is 2^32 larger.
constexpr double kTwoTo32 = 4294967296.0;
constexpr double kMinContrast = 1e-1;

// Entries p, p + Stride, ..., p + 7 * Stride of a summed table.
template <int Stride>
QX_AVX2 inline __m256i loadLanes(const int32_t* p) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if constexpr (Stride == 1) {
        return first;
    } else {
        const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 8));
        // [a0 a2 b0 b2 | a4 a6 b4 b6], then the 64-bit pairs into order.
        const __m256 even = _mm256_shuffle_ps(_mm256_castsi256_ps(first),
                                              _mm256_castsi256_ps(second), _MM_SHUFFLE(2, 0, 2, 0));
        return _mm256_castpd_si256(
            _mm256_permute4x64_pd(_mm256_castps_pd(even), _MM_SHUFFLE(3, 1, 2, 0)));
    }
}

// Rectangle sums of the eight windows, modulo 2^32 like the portable ones.
template <int Stride>
QX_AVX2 inline __m256i rectSums(const int32_t* origin, const int32_t corners[4]) {
    const __m256i a = loadLanes<Stride>(origin + corners[0]);
    const __m256i b = loadLanes<Stride>(origin + corners[1]);
    const __m256i c = loadLanes<Stride>(origin + corners[2]);
    const __m256i d = loadLanes<Stride>(origin + corners[3]);
    return _mm256_add_epi32(_mm256_sub_epi32(_mm256_sub_epi32(a, b), c), d);
}

QX_AVX2 inline __m128i half(__m256i v, int h) {
    return h == 0 ? _mm256_castsi256_si128(v) : _mm256_extracti128_si256(v, 1);
}

QX_AVX2 inline __m128 half(__m256 v, int h) {
    return h == 0 ? _mm256_castps256_ps128(v) : _mm256_extractf128_ps(v, 1);
}

// The variance normalisation of the eight windows into `factor`; answers
// the lanes with enough contrast to be classified, one bit each.
template <int Stride>
QX_AVX2 inline int normalise(const HaarRow& row, const int32_t* origin, __m256& factor) {
    const __m256i sums = rectSums<Stride>(origin, row.normCorners);
    const __m256i squares = rectSums<Stride>(origin + row.squaresOffset, row.normCorners);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d area = _mm256_set1_pd(row.normArea);
    __m128 factors[2];
    int contrasted = 0;
    for (int h = 0; h < 2; ++h) {
        const __m256d sum = _mm256_cvtepi32_pd(half(sums, h));
        __m256d square = _mm256_cvtepi32_pd(half(squares, h));
        square = _mm256_add_pd(square, _mm256_and_pd(_mm256_cmp_pd(square, zero, _CMP_LT_OQ),
                                                     _mm256_set1_pd(kTwoTo32)));
        const __m256d spread = _mm256_sub_pd(_mm256_mul_pd(area, square), _mm256_mul_pd(sum, sum));
        const __m256d positive = _mm256_cmp_pd(spread, zero, _CMP_GT_OQ);
        // Flat lanes get NaN here; they are not classified, so it is never used.
        factors[h] = _mm256_cvtpd_ps(_mm256_div_pd(_mm256_set1_pd(1.), _mm256_sqrt_pd(spread)));
        const __m256d contrast = _mm256_cmp_pd(_mm256_mul_pd(area, _mm256_cvtps_pd(factors[h])),
                                               _mm256_set1_pd(kMinContrast), _CMP_LT_OQ);
        contrasted |= _mm256_movemask_pd(_mm256_and_pd(positive, contrast)) << (4 * h);
    }
    factor = _mm256_set_m128(factors[1], factors[0]);
    return contrasted;
}

template <int Stride>
QX_AVX2 inline __m256 weightedSum(const int32_t* origin, const int32_t corners[4], float weight) {
    return _mm256_mul_ps(_mm256_set1_ps(weight),
                         _mm256_cvtepi32_ps(rectSums<Stride>(origin, corners)));
}

// The lanes whose sum for the stage falls below its threshold, one bit each.
template <int Stride>
QX_AVX2 int stageRejects(const HaarRow& row, const HaarStage& stage, const int32_t* origin,
                         __m256 factor) {
    __m256d low = _mm256_setzero_pd(), high = _mm256_setzero_pd();
    const HaarStump* const end = row.stumps + stage.first + stage.count;
    for (const HaarStump* stump = row.stumps + stage.first; stump != end; ++stump) {
        const HaarFeature& f = row.features[stump->feature];
        __m256 value = _mm256_add_ps(weightedSum<Stride>(origin, f.corners[0], f.weights[0]),
                                     weightedSum<Stride>(origin, f.corners[1], f.weights[1]));
        if (f.weights[2] != 0.0f)
            value = _mm256_add_ps(value, weightedSum<Stride>(origin, f.corners[2], f.weights[2]));
        value = _mm256_mul_ps(value, factor);
        const __m256 below = _mm256_cmp_ps(value, _mm256_set1_ps(stump->threshold), _CMP_LT_OQ);
        const __m256 leaf =
            _mm256_blendv_ps(_mm256_set1_ps(stump->right), _mm256_set1_ps(stump->left), below);
        low = _mm256_add_pd(low, _mm256_cvtps_pd(half(leaf, 0)));
        high = _mm256_add_pd(high, _mm256_cvtps_pd(half(leaf, 1)));
    }
    const __m256d threshold = _mm256_set1_pd(stage.threshold);
    return _mm256_movemask_pd(_mm256_cmp_pd(low, threshold, _CMP_LT_OQ)) |
           _mm256_movemask_pd(_mm256_cmp_pd(high, threshold, _CMP_LT_OQ)) << 4;
}

template <int Stride>
QX_AVX2 void classifyBlock(const HaarRow& row, const int32_t* origin, int32_t* results,
                           float* factors) {
    __m256 factor;
    int undecided = normalise<Stride>(row, origin, factor);
    _mm256_storeu_ps(factors, factor);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(results), _mm256_set1_epi32(-1));
    int stage = 0;
    while (undecided != 0 && stage < row.stageCount &&
           (stage == 0 || __builtin_popcount(undecided) >= kMinUndecided)) {
        const int rejected =
            undecided & stageRejects<Stride>(row, row.stages[stage], origin, factor);
        for (int lanes = rejected; lanes != 0; lanes &= lanes - 1)
            results[__builtin_ctz(lanes)] = -stage;
        undecided &= ~rejected;
        ++stage;
    }
    for (int lanes = undecided; lanes != 0; lanes &= lanes - 1)
        results[__builtin_ctz(lanes)] = 1 + stage;
}

template <int Stride>
QX_AVX2 void classifyRow(const HaarRow& row, int32_t* results, float* factors) {
    for (int i = 0; i < row.count; i += kLanes)
        classifyBlock<Stride>(row, row.origin + i * Stride, results + i, factors + i);
}

}  // namespace

void classifyRowAvx2(const HaarRow& row, int32_t* results, float* factors) {
    if (row.stride == 1)
        classifyRow<1>(row, results, factors);
    else
        classifyRow<2>(row, results, factors);
}

}  // namespace quexal::detail

#else

namespace quexal::detail {

// Never called: the scan takes the vector rows only on x86.
void classifyRowAvx2(const HaarRow&, int32_t*, float*) {}

}  // namespace quexal::detail

#endif
