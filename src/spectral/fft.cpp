#include "spectral/fft.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <thread>
#include <utility>

#include "core/constants.hpp"
#include "core/errors.hpp"
#include "core/listout.hpp"
#include "image/parallel.hpp"

namespace veltrane2 {

namespace {

// The radix-2 transform of one sequence: nn complex values interleaved.
// BatchTransform below does the same for several sequences at once and must
// give each of them these very bits.
void four1_values(double* data0, int nn, Direction dir) {
    const int n = 2 * nn;
    const double sign = dir == Direction::kForward ? 1.0 : -1.0;
    double* data = data0 - 1;  // 1-based positions below

    // Bit-reversal reordering.
    int j = 1;
    for (int i = 1; i < n; i += 2) {
        if (j > i) {
            std::swap(data[j], data[i]);
            std::swap(data[j + 1], data[i + 1]);
        }
        int k = n / 2;
        while (k >= 2 && j > k) {
            j -= k;
            k /= 2;
        }
        j += k;
    }

    // Butterfly stages; each computes its rotation step with one cosine and
    // one sine and advances the rotation factor by complex multiplication.
    int mmax = 2;
    while (n > mmax) {
        const int istep = 2 * mmax;
        const double theta = kTwoPi * sign / static_cast<double>(mmax);
        const double wpr = std::cos(theta);
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int mm = 1; mm < mmax; mm += 2) {
            for (int i = mm; i <= n; i += istep) {
                const int jj = i + mmax;
                const double tempr = wr * data[jj] - wi * data[jj + 1];
                const double tempi = wr * data[jj + 1] + wi * data[jj];
                data[jj] = data[i] - tempr;
                data[jj + 1] = data[i + 1] - tempi;
                data[i] = data[i] + tempr;
                data[i + 1] = data[i + 1] + tempi;
            }
            const double wtemp = wr;
            wr = wpr * wr - wpi * wi;
            wi = wpi * wtemp + wpr * wi;
        }
        mmax = istep;
    }

    if (dir == Direction::kInverse) {
        const double scale = static_cast<double>(nn);
        for (int k = 1; k <= n; ++k) data[k] = data[k] / scale;
    }
}

// Sequences transformed together by the two-dimensional passes; a pack holds
// one position of each of them.
constexpr int kBatch = 16;

// Room for the packs of one batch, aligned for the widest registers.
class PackBuffer {
public:
    explicit PackBuffer(std::size_t doubles)
        : p_(static_cast<double*>(std::aligned_alloc(64, (doubles * sizeof(double) + 63) / 64 * 64))) {
        if (p_ == nullptr) throw std::bad_alloc();
    }
    ~PackBuffer() { std::free(p_); }
    PackBuffer(const PackBuffer&) = delete;
    PackBuffer& operator=(const PackBuffer&) = delete;
    double* data() { return p_; }
    double& operator[](std::size_t k) { return p_[k]; }

private:
    double* p_;
};

// A rotation factor of a butterfly stage.
struct Rotation {
    double re;
    double im;
};

// The registers of each width W (doubles): the lanes of a pack are worked on
// a register's width at a time.
template <int W>
struct Lanes;
template <>
struct Lanes<8> {
    typedef double V __attribute__((vector_size(64), aligned(64), may_alias));
};
template <>
struct Lanes<4> {
    typedef double V __attribute__((vector_size(32), aligned(32), may_alias));
};
template <>
struct Lanes<2> {
    typedef double V __attribute__((vector_size(16), aligned(16), may_alias));
};

// kBatch sequences of nn points, transformed together: the packed form of
// four1_values(). Every butterfly of four1_values() is done with the same
// rotation factor (the table holds the values its recurrence reaches), the
// same operands and the same operations, so each sequence comes out bit for
// bit as on its own. Only the order in which independent butterflies are
// done differs: the first stages run on one block of positions at a time,
// while it is in the nearest cache, and two stages at a time, on four
// positions held in registers. The bit-reversal reordering (a permutation)
// is left to whoever fills the packs, and the inverse's scaling (a last
// operation on each value) to whoever empties them.
//
// Packs: position p of sequence s at data[2 p kBatch + s] (real part) and
// data[(2 p + 1) kBatch + s] (imaginary part), 64-byte aligned.
class BatchTransform {
public:
    BatchTransform(int nn, Direction dir)
        : nn_(nn),
          dir_(dir),
          rotations_(static_cast<std::size_t>(std::max(nn, 1))),
          slots_(static_cast<std::size_t>(nn)) {
        // rotations_[l + k]: factor k of the stage whose butterflies join
        // positions l apart (l = 1, 2, 4, ...).
        const double sign = dir == Direction::kForward ? 1.0 : -1.0;
        for (int l = 1; l < nn; l *= 2) {
            const double theta = kTwoPi * sign / static_cast<double>(2 * l);
            const double wpr = std::cos(theta);
            const double wpi = std::sin(theta);
            double wr = 1.0;
            double wi = 0.0;
            for (int k = 0; k < l; ++k) {
                rotations_[static_cast<std::size_t>(l + k)] = {wr, wi};
                const double wtemp = wr;
                wr = wpr * wr - wpi * wi;
                wi = wpi * wtemp + wpr * wi;
            }
        }
        // The pairs four1_values() swaps, as a table of where each position
        // goes.
        for (int p = 0; p < nn; ++p) slots_[static_cast<std::size_t>(p)] = p;
        const int n = 2 * nn;
        int j = 1;
        for (int i = 1; i < n; i += 2) {
            if (j > i) std::swap(slots_[static_cast<std::size_t>(i / 2)], slots_[static_cast<std::size_t>(j / 2)]);
            int k = n / 2;
            while (k >= 2 && j > k) {
                j -= k;
                k /= 2;
            }
            j += k;
        }
        if (dir == Direction::kInverse) {
            divide_ = !std::has_single_bit(static_cast<unsigned>(nn));
            // Dividing by a power of two and multiplying by its reciprocal
            // (exact) round the same exact quotient: the same bits.
            reciprocal_ = 1.0 / static_cast<double>(nn);
        }
    }

    // The pack that position p (0-based) of the sequences is put in before
    // transform().
    std::size_t slot(int p) const { return static_cast<std::size_t>(slots_[static_cast<std::size_t>(p)]); }

    // The butterfly stages, on packs filled at slot(p).
    void transform(double* data) const {
        if (__builtin_cpu_supports("avx512f")) {
            transform_512(data);
        } else if (__builtin_cpu_supports("avx2")) {
            transform_256(data);
        } else {
            transform_128(data);
        }
    }

    // A value of the transform as four1_values() leaves it: the inverse
    // divides it by the number of points.
    double finish(double v) const {
        if (dir_ == Direction::kForward) return v;
        return divide_ ? v / static_cast<double>(nn_) : v * reciprocal_;
    }
    // finish() of values[0..count-1], in place.
    void finish(double* values, int count) const {
        if (dir_ == Direction::kForward) return;
        if (divide_) {
            const double scale = static_cast<double>(nn_);
            for (int k = 0; k < count; ++k) values[k] = values[k] / scale;
        } else {
            for (int k = 0; k < count; ++k) values[k] = values[k] * reciprocal_;
        }
    }

private:
    template <int W>
    __attribute__((always_inline)) void stages(double* data) const;

    __attribute__((target("avx512f"))) void transform_512(double* data) const;
    __attribute__((target("avx2"))) void transform_256(double* data) const;
    void transform_128(double* data) const;

    int nn_;
    Direction dir_;
    bool divide_ = false;
    double reciprocal_ = 1.0;
    std::vector<Rotation> rotations_;
    std::vector<int> slots_;
};

// The butterfly of four1_values() on registers: q = p - c q, p = p + c q.
template <class V>
inline __attribute__((always_inline)) void butterfly(Rotation c, V& pr, V& pi, V& qr, V& qi) {
    const V tempr = c.re * qr - c.im * qi;
    const V tempi = c.re * qi + c.im * qr;
    qr = pr - tempr;
    qi = pi - tempi;
    pr = pr + tempr;
    pi = pi + tempi;
}

// One stage on positions first..last-1: butterflies join positions l apart
// with the factors w[0..l-1].
template <int W>
inline __attribute__((always_inline)) void stage_of_two(double* data, int first, int last, int l, const Rotation* w) {
    using V = typename Lanes<W>::V;
    constexpr int kRegs = kBatch / W;  // registers per pack
    for (int g = first; g < last; g += 2 * l) {
        for (int k = 0; k < l; ++k) {
            const Rotation c = w[k];
            const int p = g + k;
            const int q = p + l;
            for (int r = 0; r < kRegs; ++r) {
                V* x = reinterpret_cast<V*>(data) + r;
                butterfly(c, x[kRegs * 2 * p], x[kRegs * (2 * p + 1)], x[kRegs * 2 * q], x[kRegs * (2 * q + 1)]);
            }
        }
    }
}

// Two stages on positions first..last-1: the one joining positions l apart
// (factors w1[0..l-1]), then the one joining positions 2 l apart (factors
// w2[0..2l-1]), four positions a, a + l, a + 2 l, a + 3 l at a time.
template <int W>
inline __attribute__((always_inline)) void stages_of_four(double* data, int first, int last, int l, const Rotation* w1,
                                                          const Rotation* w2) {
    using V = typename Lanes<W>::V;
    constexpr int kRegs = kBatch / W;
    for (int g = first; g < last; g += 4 * l) {
        for (int k = 0; k < l; ++k) {
            const Rotation u = w1[k];
            const Rotation v = w2[k];
            const Rotation z = w2[k + l];
            const int a = g + k;
            for (int r = 0; r < kRegs; ++r) {
                V* x = reinterpret_cast<V*>(data) + r;
                const auto at = [x](int pos, int part) -> V& { return x[kRegs * (2 * pos + part)]; };
                V ar = at(a, 0), ai = at(a, 1);
                V br = at(a + l, 0), bi = at(a + l, 1);
                V cr = at(a + 2 * l, 0), ci = at(a + 2 * l, 1);
                V dr = at(a + 3 * l, 0), di = at(a + 3 * l, 1);
                butterfly(u, ar, ai, br, bi);
                butterfly(u, cr, ci, dr, di);
                butterfly(v, ar, ai, cr, ci);
                butterfly(z, br, bi, dr, di);
                at(a, 0) = ar;
                at(a, 1) = ai;
                at(a + l, 0) = br;
                at(a + l, 1) = bi;
                at(a + 2 * l, 0) = cr;
                at(a + 2 * l, 1) = ci;
                at(a + 3 * l, 0) = dr;
                at(a + 3 * l, 1) = di;
            }
        }
    }
}

template <int W>
inline __attribute__((always_inline)) void BatchTransform::stages(double* data) const {
    const int nn = nn_;
    const Rotation* w = rotations_.data();
    // The stages within blocks of kBlock positions (16 KiB of packs), block
    // by block; then the wider ones over the whole sequence.
    constexpr int kBlock = 64;
    int l = 1;
    if (nn >= kBlock) {
        for (int b = 0; b < nn; b += kBlock) {
            int s = 1;
            for (; 4 * s <= kBlock; s *= 4) stages_of_four<W>(data, b, b + kBlock, s, w + s, w + 2 * s);
            for (; 2 * s <= kBlock; s *= 2) stage_of_two<W>(data, b, b + kBlock, s, w + s);
        }
        l = kBlock;
    }
    for (; 4 * l <= nn; l *= 4) stages_of_four<W>(data, 0, nn, l, w + l, w + 2 * l);
    for (; 2 * l <= nn; l *= 2) stage_of_two<W>(data, 0, nn, l, w + l);
}

void BatchTransform::transform_512(double* data) const {
    stages<8>(data);
}
void BatchTransform::transform_256(double* data) const {
    stages<4>(data);
}
void BatchTransform::transform_128(double* data) const {
    stages<2>(data);
}

// Runs work(first, last) over the blocks of kBatch sequences of one pass,
// spread over up to `threads` threads (0: as many as the machine has cores,
// at most four), each taking the next few blocks not yet taken: a thread
// that gets more time from the system does more of them. Every sequence is
// transformed on its own, so the result does not depend on how the blocks
// are shared out.
template <class Work>
void for_blocks(int threads, int m, Work work) {
    const int blocks = (m + kBatch - 1) / kBatch;
    threads = m < 128 ? 1 : thread_count(threads);
    if (threads == 1) {
        work(0, blocks);
        return;
    }
    constexpr int kTake = 2;  // blocks taken at a time
    std::atomic<int> next{0};
    const auto share = [&] {
        for (;;) {
            const int first = next.fetch_add(kTake);
            if (first >= blocks) return;
            work(first, std::min(blocks, first + kTake));
        }
    };
    run_on_threads(threads, [&](int) { share(); });
}

// One pass along the second index: for every first index i, the sequence
// j = 1..m read by load() is transformed and handed to store().
// load(i0, count, j, re, im) puts the values of first indices i0..i0+count-1
// at second index j into re[0..count-1] and im[0..count-1]; store() takes
// the transformed values the same way.
template <class Load, class Store>
void pass_along_second(int threads, int m, Direction dir, Load load, Store store) {
    const BatchTransform batch(m, dir);
    for_blocks(threads, m, [&](int first, int last) {
        PackBuffer buf(2 * static_cast<std::size_t>(m) * kBatch);
        for (int b = first; b < last; ++b) {
            const int i0 = 1 + b * kBatch;
            const int count = std::min(kBatch, m - i0 + 1);
            if (count == kBatch) {
                for (int j = 1; j <= m; ++j) {
                    double* d = buf.data() + 2 * batch.slot(j - 1) * kBatch;
                    load(i0, kBatch, j, d, d + kBatch);
                }
                batch.transform(buf.data());
                for (int j = 1; j <= m; ++j) {
                    double* d = buf.data() + static_cast<std::size_t>(2 * j - 2) * kBatch;
                    batch.finish(d, 2 * kBatch);
                    store(i0, kBatch, j, d, d + kBatch);
                }
            } else {
                for (int i = i0; i < i0 + count; ++i) {
                    for (int j = 1; j <= m; ++j) load(i, 1, j, &buf[2 * j - 2], &buf[2 * j - 1]);
                    four1_values(buf.data(), m, dir);
                    for (int j = 1; j <= m; ++j) store(i, 1, j, &buf[2 * j - 2], &buf[2 * j - 1]);
                }
            }
        }
    });
}

// Position in the centred spectrum of index i of a transform of length n =
// 2 m: the zero frequency goes to m, the highest frequency to n.
inline int center0_index(int m, int i) {
    return i <= m + 1 ? m + i - 1 : i - m - 1;
}

// The passes along the second index step from column to column: the lanes
// of a column a few steps ahead are asked for early, so that they are on
// their way while this column is worked on.
constexpr int kAhead = 8;
inline void prefetch_lanes(const double* first, const double* last, bool write) {
    if (write) {
        __builtin_prefetch(first, 1);
        __builtin_prefetch(last, 1);
    } else {
        __builtin_prefetch(first, 0);
        __builtin_prefetch(last, 0);
    }
}

// Asks early for the lanes of first indices i0..i0+count-1 at second index j
// of a centred grid.
inline void prefetch_centred(int m, int i0, int count, int j, const RealImage& g, bool write) {
    const int cj = center0_index(m, j);
    prefetch_lanes(&g(center0_index(m, i0), cj), &g(center0_index(m, i0 + count - 1), cj), write);
}

// The same for values of side n stored as a grid's are (first index fastest).
inline void prefetch_centred(int m, int i0, int count, int j, const double* g, int n) {
    const auto at = [g, n](int i, int jj) {
        return g + static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(jj - 1) * static_cast<std::size_t>(n);
    };
    const int cj = center0_index(m, j);
    prefetch_lanes(at(center0_index(m, i0), cj), at(center0_index(m, i0 + count - 1), cj), false);
}

// The indices i0..i0+count-1 in at most two runs that stay side by side in
// the centred spectrum: run(s0, s1, c) for lanes s0..s1-1, lane s0 going to
// centred position c.
template <class Run>
inline void centred_runs(int m, int i0, int count, Run run) {
    const int split = std::clamp(m + 2 - i0, 0, count);  // lanes up to index m + 1
    if (split > 0) run(0, split, center0_index(m, i0));
    if (split < count) run(split, count, center0_index(m, i0 + split));
}

}  // namespace

void my_four1(double* data, int ndim, int nn, Direction dir) {
    if (ndim < 2 * nn) throw FatalStop(list_line(" 2(# of data) > NDIM in MY_four1 ", 2 * nn, ndim));
    four1_values(data, nn, dir);
}

namespace {

// The spectra of two real sequences from the transform of the sequence that
// packs them as real and imaginary parts (n complex values): re(p) and
// im(p) read its position p (0-based); put(p, r1, i1, r2, i2) takes
// position p of the first spectrum and of the second.
template <class Re, class Im, class Put>
inline void unpack_two(int n, Re re, Im im, Put put) {
    put(0, re(0), 0.0, im(0), 0.0);
    const int nyq = n / 2 + 1;
    for (int j = 2; j <= nyq; ++j) {
        const int a = j - 1;      // position j, counted from 1
        const int c = n + 1 - j;  // position n + 2 - j
        const double h1r = 0.5 * (re(a) + re(c));
        const double h1i = 0.5 * (im(a) - im(c));
        const double h2r = 0.5 * (im(a) + im(c));
        const double h2i = -0.5 * (re(a) - re(c));
        put(a, h1r, h1i, h2r, h2i);
        if (j < nyq) put(c, h1r, -h1i, h2r, -h2i);
    }
}

}  // namespace

void dtwofft(int n, const double* data1, const double* data2, double* fft1, double* fft2) {
    std::vector<double> data(2 * static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        data[2 * k] = data1[k];
        data[2 * k + 1] = data2[k];
    }
    my_four1(data.data(), static_cast<int>(data.size()), n, Direction::kForward);
    unpack_two(
        n, [&](int p) { return data[2 * static_cast<std::size_t>(p)]; },
        [&](int p) { return data[2 * static_cast<std::size_t>(p) + 1]; },
        [&](int p, double r1, double i1, double r2, double i2) {
            fft1[2 * p] = r1;
            fft1[2 * p + 1] = i1;
            fft2[2 * p] = r2;
            fft2[2 * p + 1] = i2;
        });
}

void fft2d_x(int threads, const RealImage& marker, RealImage& fft_re, RealImage& fft_im) {
    const int m = marker.nx();
    // Columns j and j + 1 (pair p: j = 2p - 1) go through one complex
    // transform, kBatch pairs at a time; blocks of pairs are shared out over
    // the threads.
    auto store = [&](int j, const std::vector<double>& fft1, const std::vector<double>& fft2) {
        double* r = &fft_re(1, j);
        double* q = &fft_im(1, j);
        double* r1 = &fft_re(1, j + 1);
        double* q1 = &fft_im(1, j + 1);
        for (int i = 0; i < m; ++i) {
            r[i] = fft1[2 * i];
            q[i] = fft1[2 * i + 1];
            r1[i] = fft2[2 * i];
            q1[i] = fft2[2 * i + 1];
        }
    };
    const int pairs = m / 2;
    const BatchTransform batch(m, Direction::kForward);
    for_blocks(threads, pairs, [&](int first, int last) {
        std::vector<double> fft1(2 * static_cast<std::size_t>(m));
        std::vector<double> fft2(2 * static_cast<std::size_t>(m));
        PackBuffer buf(2 * static_cast<std::size_t>(m) * kBatch);
        for (int b = first; b < last; ++b) {
            const int p0 = 1 + b * kBatch;
            const int count = std::min(kBatch, pairs - p0 + 1);
            if (count < kBatch) {
                for (int p = p0; p < p0 + count; ++p) {
                    const int j = 2 * p - 1;
                    dtwofft(m, &marker(1, j), &marker(1, j + 1), fft1.data(), fft2.data());
                    store(j, fft1, fft2);
                }
                continue;
            }
            // Position k of the lanes is read across the columns and written
            // as a whole pack.
            const double* c0[kBatch];
            const double* c1[kBatch];
            for (int s = 0; s < kBatch; ++s) {
                const int j = 2 * (p0 + s) - 1;
                c0[s] = &marker(1, j);
                c1[s] = &marker(1, j + 1);
            }
            for (int k = 0; k < m; ++k) {
                double* d = buf.data() + 2 * batch.slot(k) * kBatch;
                for (int s = 0; s < kBatch; ++s) d[s] = c0[s][k];
                for (int s = 0; s < kBatch; ++s) d[kBatch + s] = c1[s][k];
            }
            batch.transform(buf.data());
            // unpack_two() of each lane, read in place and written straight
            // to the lane's two columns.
            for (int s = 0; s < kBatch; ++s) {
                const double* d = buf.data() + s;
                const int j = 2 * (p0 + s) - 1;
                double* r = &fft_re(1, j);
                double* q = &fft_im(1, j);
                double* r1 = &fft_re(1, j + 1);
                double* q1 = &fft_im(1, j + 1);
                unpack_two(
                    m, [d](int p) { return d[static_cast<std::size_t>(2 * p) * kBatch]; },
                    [d](int p) { return d[static_cast<std::size_t>(2 * p + 1) * kBatch]; },
                    [&](int p, double re1, double im1, double re2, double im2) {
                        r[p] = re1;
                        q[p] = im1;
                        r1[p] = re2;
                        q1[p] = im2;
                    });
            }
        }
    });
}

void fft2d(int threads, RealImage& marker, RealImage& frc, RealImage& fic, RealImage* spent) {
    const int m = marker.nx();
    // Every block of the first pass reads its columns before it writes
    // them: the real parts can take the place of the image.
    RealImage& fftr = marker;
    RealImage ffti = RealImage::square_to_fill(m);
    fft2d_x(threads, marker, fftr, ffti);
    const int h = m / 2;
    pass_along_second(
        threads, m, Direction::kForward,
        [&](int i0, int count, int j, double* re, double* im) {
            if (j + kAhead <= m) {
                prefetch_lanes(&fftr(i0, j + kAhead), &fftr(i0 + count - 1, j + kAhead), false);
                prefetch_lanes(&ffti(i0, j + kAhead), &ffti(i0 + count - 1, j + kAhead), false);
            }
            const double* r = &fftr(i0, j);
            const double* q = &ffti(i0, j);
            for (int s = 0; s < count; ++s) {
                re[s] = r[s];
                im[s] = q[s];
            }
        },
        [&](int i0, int count, int j, const double* re, const double* im) {
            const int cj = center0_index(h, j);
            if (j + kAhead <= m)
                for (const RealImage* g : {&frc, &fic}) prefetch_centred(h, i0, count, j + kAhead, *g, true);
            centred_runs(h, i0, count, [&](int s0, int s1, int c) {
                double* r = &frc(c, cj);
                double* q = &fic(c, cj);
                for (int s = s0; s < s1; ++s) {
                    r[s - s0] = re[s];
                    q[s - s0] = im[s];
                }
            });
        });
    if (spent != nullptr) *spent = std::move(ffti);
}

namespace {

// The second pass of an inverse on the kBatch columns of one block:
// fill(i, re, im) puts position i of every lane into re[0..kBatch-1] and
// im[0..kBatch-1]; the lanes are transformed, and lane s's real parts, as
// four1_values() leaves them, go to out[s][0..m-1].
template <class Fill>
void inverse_columns(const BatchTransform& batch, int m, double* buf, Fill fill, double* const* out) {
    for (int i = 0; i < m; ++i) {
        double* d = buf + 2 * batch.slot(i) * kBatch;
        fill(i, d, d + kBatch);
    }
    batch.transform(buf);
    for (int i = 0; i < m; ++i) batch.finish(buf + static_cast<std::size_t>(2 * i) * kBatch, kBatch);
    // Eight positions of a lane at a time: a whole cache line of its column.
    constexpr int kLine = 8;
    int i0 = 0;
    for (; i0 + kLine <= m; i0 += kLine) {
        const double* d = buf + static_cast<std::size_t>(2 * i0) * kBatch;
        for (int s = 0; s < kBatch; ++s) {
            double* o = out[s] + i0;
            for (int k = 0; k < kLine; ++k) o[k] = d[static_cast<std::size_t>(2 * k) * kBatch + static_cast<std::size_t>(s)];
        }
    }
    for (; i0 < m; ++i0)
        for (int s = 0; s < kBatch; ++s) out[s][i0] = buf[static_cast<std::size_t>(2 * i0) * kBatch + static_cast<std::size_t>(s)];
}

// re[k] = r[k] w[k] and im[k] = q[k] w[k] for k < count, where w is the gain
// g or, for the complement, 1 - g.
inline void weighted(const double* __restrict r, const double* __restrict q, const double* __restrict g, int count,
                     bool complement, double* __restrict re, double* __restrict im) {
    if (complement) {
        for (int k = 0; k < count; ++k) {
            const double w = 1.0 - g[k];
            re[k] = r[k] * w;
            im[k] = q[k] * w;
        }
    } else {
        for (int k = 0; k < count; ++k) {
            re[k] = r[k] * g[k];
            im[k] = q[k] * g[k];
        }
    }
}

// The complement's weighting where ones[k] is not 0; +0 where it is (the
// gain is 1 there), without reading r, q or g.
inline void complement_marked(const double* __restrict r, const double* __restrict q, const double* __restrict g,
                              const unsigned char* __restrict ones, int count, double* __restrict re,
                              double* __restrict im) {
    for (int k = 0; k < count; ++k) re[k] = im[k] = 0.0;
    for (int k = 0; k < count; ++k) {
        if (ones[k] == 0) continue;
        const double w = 1.0 - g[k];
        re[k] = r[k] * w;
        im[k] = q[k] * w;
    }
}

// inv_fft2d(), with the imaginary parts between the two passes kept in
// `spent` (the spectrum's own imaginary parts, used up) when it is given,
// else in a grid of their own: `scratch`'s storage when that is given and
// of the spectrum's side, else a fresh one.
void inverse_2d(int threads, const RealImage& frc, const RealImage& fic, const double* gain, bool complement,
                double* marker, RealImage* spent, RealImage* scratch = nullptr, const unsigned char* ones = nullptr) {
    const int m = frc.nx();
    if (!complement) ones = nullptr;
    // The real parts between the two passes are kept in the output itself:
    // the second pass reads a column whole before it writes that column's
    // result, and the columns are shared out whole.
    const auto fftyr = [marker, m](int i, int j) -> double& {
        return marker[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m)];
    };
    // The imaginary parts of sequence i go either to a grid of their own at
    // (i, j) or, in place, to (c(i), j) of the spectrum: the first pass
    // reads the lanes of a block (all of their centred rows) whole before it
    // writes them, and writes exactly the places it read.
    RealImage fftyi;
    if (spent == nullptr) {
        if (scratch != nullptr && scratch->nx() == m && scratch->ny() == m) {
            fftyi = std::move(*scratch);
        } else {
            fftyi = RealImage::square_to_fill(m);
        }
    }
    const int h = m / 2;
    // First pass: the weighted coefficients of every sequence along the
    // second index.
    const auto load = [&](int i0, int count, int j, double* re, double* im) {
        const int cj = center0_index(h, j);
        if (j + kAhead <= m) {
            for (const RealImage* g : {&frc, &fic}) prefetch_centred(h, i0, count, j + kAhead, *g, false);
            prefetch_centred(h, i0, count, j + kAhead, gain, m);
        }
        centred_runs(h, i0, count, [&](int s0, int s1, int c) {
            const double* g =
                gain + static_cast<std::size_t>(c - 1) + static_cast<std::size_t>(cj - 1) * static_cast<std::size_t>(m);
            weighted(&frc(c, cj), &fic(c, cj), g, s1 - s0, complement, re + s0, im + s0);
        });
    };
    // The same for the complement, reading only the marked coefficients.
    const auto load_marked = [&](int i0, int count, int j, double* re, double* im) {
        const int cj = center0_index(h, j);
        if (j + kAhead <= m) {
            // The marks are asked for first; halfway there, the gains and
            // coefficients of lanes that are marked.
            const std::size_t row = static_cast<std::size_t>(center0_index(h, j + kAhead) - 1) * m;
            __builtin_prefetch(ones + row + center0_index(h, i0) - 1, 0);
            __builtin_prefetch(ones + row + center0_index(h, i0 + count - 1) - 1, 0);
            const int jh = j + kAhead / 2;
            const int cjh = center0_index(h, jh);
            bool marked = false;
            centred_runs(h, i0, count, [&](int s0, int s1, int c) {
                const unsigned char* o = ones + static_cast<std::size_t>(cjh - 1) * m + (c - 1);
                for (int s = 0; s < s1 - s0; ++s) marked = marked || o[s] != 0;
            });
            if (marked) {
                prefetch_centred(h, i0, count, jh, gain, m);
                for (const RealImage* g : {&frc, &fic}) prefetch_centred(h, i0, count, jh, *g, false);
            }
        }
        centred_runs(h, i0, count, [&](int s0, int s1, int c) {
            const std::size_t at =
                static_cast<std::size_t>(c - 1) + static_cast<std::size_t>(cj - 1) * static_cast<std::size_t>(m);
            complement_marked(&frc(c, cj), &fic(c, cj), gain + at, ones + at, s1 - s0, re + s0, im + s0);
        });
    };
    const auto store =
        [&](int i0, int count, int j, const double* re, const double* im) {
            if (j + kAhead <= m) {
                prefetch_lanes(&fftyr(i0, j + kAhead), &fftyr(i0 + count - 1, j + kAhead), true);
                if (spent == nullptr) prefetch_lanes(&fftyi(i0, j + kAhead), &fftyi(i0 + count - 1, j + kAhead), true);
            }
            double* r = &fftyr(i0, j);
            for (int s = 0; s < count; ++s) r[s] = re[s];
            if (spent == nullptr) {
                double* q = &fftyi(i0, j);
                for (int s = 0; s < count; ++s) q[s] = im[s];
            } else {
                centred_runs(h, i0, count, [&](int s0, int s1, int c) {
                    double* q = &(*spent)(c, j);
                    for (int s = s0; s < s1; ++s) q[s - s0] = im[s];
                });
            }
        };
    if (ones != nullptr) {
        pass_along_second(threads, m, Direction::kInverse, load_marked, store);
    } else {
        pass_along_second(threads, m, Direction::kInverse, load, store);
    }

    // The imaginary parts of column j, first index i = 1..m, as put(i - 1, value).
    const auto imag_column = [&](int j, auto put) {
        if (spent == nullptr) {
            const double* q = &fftyi(1, j);
            for (int i = 0; i < m; ++i) put(i, q[i]);
            return;
        }
        centred_runs(h, 1, m, [&](int s0, int s1, int c) {
            const double* q = &(*spent)(c, j);
            for (int s = s0; s < s1; ++s) put(s, q[s - s0]);
        });
    };

    // Second pass: along the first index, for every second index j, kBatch
    // columns at a time; only the real part is kept.
    auto column = [marker, m](int j) { return marker + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m); };
    const BatchTransform batch(m, Direction::kInverse);
    for_blocks(threads, m, [&](int first, int last) {
        PackBuffer buf(2 * static_cast<std::size_t>(m) * kBatch);
        for (int b = first; b < last; ++b) {
            const int j0 = 1 + b * kBatch;
            const int count = std::min(kBatch, m - j0 + 1);
            if (count < kBatch) {
                for (int j = j0; j < j0 + count; ++j) {
                    const double* r = &fftyr(1, j);
                    for (int i = 0; i < m; ++i) buf[2 * i] = r[i];
                    imag_column(j, [&](int i, double v) { buf[2 * i + 1] = v; });
                    four1_values(buf.data(), m, Direction::kInverse);
                    double* out = column(j);
                    for (int i = 0; i < m; ++i) out[i] = buf[2 * i];
                }
                continue;
            }
            // Position i of the lanes is read across the kBatch columns and
            // written as a whole pack.
            const double* rs[kBatch];
            const double* qs[kBatch];
            double* outs[kBatch];
            for (int s = 0; s < kBatch; ++s) {
                rs[s] = &fftyr(1, j0 + s);
                qs[s] = spent == nullptr ? &fftyi(1, j0 + s) : &(*spent)(1, j0 + s);
                outs[s] = column(j0 + s);
            }
            inverse_columns(
                batch, m, buf.data(),
                [&](int i, double* re, double* im) {
                    const int qi = spent == nullptr ? i : center0_index(h, i + 1) - 1;
                    for (int s = 0; s < kBatch; ++s) re[s] = rs[s][i];
                    for (int s = 0; s < kBatch; ++s) im[s] = qs[s][qi];
                },
                outs);
        }
    });
}

}  // namespace

void inv_fft2d(int threads, const RealImage& frc, const RealImage& fic, const double* gain, bool complement,
               double* marker, RealImage* scratch, const unsigned char* ones) {
    inverse_2d(threads, frc, fic, gain, complement, marker, nullptr, scratch, ones);
}

void inv_fft2d_spending(int threads, const RealImage& frc, RealImage& fic, const double* gain, double* marker) {
    inverse_2d(threads, frc, fic, gain, false, marker, &fic);
    fic.release();
}


InverseFirstPass inverse_first_pass(int threads, const RealImage& frc, const RealImage& fic) {
    const int m = frc.nx();
    const int h = m / 2;
    InverseFirstPass ones;
    ones.re = RealImage::square_to_fill(m);
    ones.im = RealImage::square_to_fill(m);
    // inv_fft2d's first pass with the gain 1: a value times 1 is the value.
    pass_along_second(
        threads, m, Direction::kInverse,
        [&](int i0, int count, int j, double* re, double* im) {
            const int cj = center0_index(h, j);
            centred_runs(h, i0, count, [&](int s0, int s1, int c) {
                const double* r = &frc(c, cj);
                const double* q = &fic(c, cj);
                for (int s = s0; s < s1; ++s) {
                    re[s] = r[s - s0];
                    im[s] = q[s - s0];
                }
            });
        },
        [&](int i0, int count, int j, const double* re, const double* im) {
            double* r = &ones.re(i0, j);
            double* q = &ones.im(i0, j);
            for (int s = 0; s < count; ++s) {
                r[s] = re[s];
                q[s] = im[s];
            }
        });
    return ones;
}

void inv_fft2d_from(int threads, const InverseFirstPass& ones, const RealImage& frc, const RealImage& fic,
                    const double* gain, double* marker) {
    const int m = frc.nx();
    const int h = m / 2;
    const auto g = [gain, m](int i, int j) {
        return gain[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m)];
    };
    // The first indices whose sequence of the first pass the gain changes:
    // those whose centred row holds a gain other than 1.
    std::vector<char> lowered(static_cast<std::size_t>(m) + 1, 0);
    for (int j = 1; j <= m; ++j)
        for (int c = 1; c <= m; ++c)
            if (g(c, j) != 1.0) lowered[static_cast<std::size_t>(c)] = 1;
    std::vector<int> rows;
    for (int i = 1; i <= m; ++i)
        if (lowered[static_cast<std::size_t>(center0_index(h, i))] != 0) rows.push_back(i);
    if (2 * rows.size() > static_cast<std::size_t>(m)) {
        inv_fft2d(threads, frc, fic, gain, false, marker);
        return;
    }
    // Their sequences transformed as the first pass transforms them, each
    // m complex values interleaved.
    const std::size_t seq = 2 * static_cast<std::size_t>(m);
    std::vector<double> patch(seq * rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        double* d = &patch[k * seq];
        const int c = center0_index(h, rows[k]);
        for (int j = 1; j <= m; ++j) {
            const int cj = center0_index(h, j);
            d[2 * j - 2] = frc(c, cj) * g(c, cj);
            d[2 * j - 1] = fic(c, cj) * g(c, cj);
        }
        four1_values(d, m, Direction::kInverse);
    }
    // patched[i - 1]: the changed sequence of first index i, or -1.
    std::vector<int> patched(static_cast<std::size_t>(m), -1);
    for (std::size_t k = 0; k < rows.size(); ++k) patched[static_cast<std::size_t>(rows[k] - 1)] = static_cast<int>(k);
    // Column j of the first pass's result: the shared one with the changed
    // sequences' values put in.
    const auto fetch = [&](int j, double* re, double* im) {
        std::copy(&ones.re(1, j), &ones.re(1, j) + m, re);
        std::copy(&ones.im(1, j), &ones.im(1, j) + m, im);
        for (std::size_t k = 0; k < rows.size(); ++k) {
            re[rows[k] - 1] = patch[k * seq + static_cast<std::size_t>(2 * j - 2)];
            im[rows[k] - 1] = patch[k * seq + static_cast<std::size_t>(2 * j - 1)];
        }
    };
    // The second pass as inv_fft2d's.
    auto column = [marker, m](int j) { return marker + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m); };
    const BatchTransform batch(m, Direction::kInverse);
    for_blocks(threads, m, [&](int first, int last) {
        PackBuffer buf(2 * static_cast<std::size_t>(m) * kBatch);
        std::vector<double> r(static_cast<std::size_t>(m)), q(static_cast<std::size_t>(m));
        for (int b = first; b < last; ++b) {
            const int j0 = 1 + b * kBatch;
            const int count = std::min(kBatch, m - j0 + 1);
            if (count < kBatch) {
                for (int j = j0; j < j0 + count; ++j) {
                    fetch(j, r.data(), q.data());
                    for (int i = 0; i < m; ++i) {
                        buf[2 * i] = r[static_cast<std::size_t>(i)];
                        buf[2 * i + 1] = q[static_cast<std::size_t>(i)];
                    }
                    four1_values(buf.data(), m, Direction::kInverse);
                    double* out = column(j);
                    for (int i = 0; i < m; ++i) out[i] = buf[2 * i];
                }
                continue;
            }
            // Position i of the lanes is read across the columns of the
            // shared first pass, or of the changed sequences, and written as
            // a whole pack.
            const double* rs[kBatch];
            const double* qs[kBatch];
            double* outs[kBatch];
            for (int s = 0; s < kBatch; ++s) {
                rs[s] = &ones.re(1, j0 + s);
                qs[s] = &ones.im(1, j0 + s);
                outs[s] = column(j0 + s);
            }
            inverse_columns(
                batch, m, buf.data(),
                [&](int i, double* re, double* im) {
                    const int k = patched[static_cast<std::size_t>(i)];
                    if (k < 0) {
                        for (int s = 0; s < kBatch; ++s) re[s] = rs[s][i];
                        for (int s = 0; s < kBatch; ++s) im[s] = qs[s][i];
                        return;
                    }
                    const double* from = &patch[static_cast<std::size_t>(k) * seq + static_cast<std::size_t>(2 * j0 - 2)];
                    for (int s = 0; s < kBatch; ++s) {
                        re[s] = from[2 * s];
                        im[s] = from[2 * s + 1];
                    }
                },
                outs);
        }
    });
}
}  // namespace veltrane2
