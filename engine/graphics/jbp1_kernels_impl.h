// The JBP1 pixel kernels in compiler vector types, included by the baseline variant inside its own
// namespace (the AVX2 variant is written with intrinsics). Only this file's own functions are
// used, so that nothing compiled here is shared with code built for another instruction set.
//
// The arithmetic is the format's: 32-bit products shifted right by 16 (wrapping as 32-bit
// registers do), column pass results kept to 16 bits, row pass results (y >> 3) kept to 16 bits,
// colour indices clamped to the packing tables' 0..767 range.

typedef int32_t V8i __attribute__((vector_size(32)));
typedef uint32_t V8u __attribute__((vector_size(32)));
typedef int16_t V8s __attribute__((vector_size(16)));
typedef uint16_t V8us __attribute__((vector_size(16)));
typedef int32_t V4i __attribute__((vector_size(16)));
typedef int64_t V2l __attribute__((vector_size(16)));

static inline V8s load8(const int16_t* p) {
  V8s v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
static inline V8i widen(V8s v) { return __builtin_convertvector(v, V8i); }
static inline V8s narrow(V8i v) { return __builtin_convertvector(v, V8s); }
static inline V8i splat(int32_t k) { return V8i{k, k, k, k, k, k, k, k}; }

// (x × k) >> 16 with a 32-bit product.
static inline V8i mulK(V8i x, int32_t k) {
  return (V8i)((V8u)x * V8u{(uint32_t)k, (uint32_t)k, (uint32_t)k, (uint32_t)k, (uint32_t)k, (uint32_t)k,
                            (uint32_t)k, (uint32_t)k}) >>
         16;
}

__attribute__((always_inline)) static inline void idctPass(const V8i* x, V8i* y) {
  V8i z1 = mulK(x[2] + x[6], 35467);
  V8i t2 = z1 + mulK(x[6], -121094);
  V8i t3 = z1 + mulK(x[2], 50159);
  V8i t0 = x[0] + x[4];
  V8i t1 = x[0] - x[4];
  V8i e0 = t0 + t3, e3 = t0 - t3, e1 = t1 + t2, e2 = t1 - t2;
  V8i q1 = x[7] + x[1], q2 = x[5] + x[3], q3 = x[7] + x[3], q4 = x[5] + x[1];
  V8i z5 = mulK(q3 + q4, 77062);
  V8i p1 = mulK(q1, -58980);
  V8i p2 = mulK(q2, -167963);
  V8i p3 = z5 + mulK(q3, -128553);
  V8i p4 = z5 + mulK(q4, -25570);
  V8i b0 = mulK(x[7], 19571) + p1 + p3;
  V8i b1 = mulK(x[5], 134553) + p2 + p4;
  V8i b2 = mulK(x[3], 201373) + p2 + p3;
  V8i b3 = mulK(x[1], 98390) + p1 + p4;
  y[0] = e0 + b3;
  y[7] = e0 - b3;
  y[1] = e1 + b2;
  y[6] = e1 - b2;
  y[2] = e2 + b1;
  y[5] = e2 - b1;
  y[3] = e3 + b0;
  y[4] = e3 - b0;
}

// 8 × 8 transpose of 16-bit rows.
__attribute__((always_inline)) static inline void transpose(const V8s* r, V8s* c) {
  V8s a[8];
  for (int i = 0; i < 4; ++i) {
    a[2 * i] = __builtin_shufflevector(r[2 * i], r[2 * i + 1], 0, 8, 1, 9, 2, 10, 3, 11);
    a[2 * i + 1] = __builtin_shufflevector(r[2 * i], r[2 * i + 1], 4, 12, 5, 13, 6, 14, 7, 15);
  }
  V4i b[8];
  const int pairs[4][2] = {{0, 2}, {1, 3}, {4, 6}, {5, 7}};
  for (int i = 0; i < 4; ++i) {
    V4i lo = (V4i)a[pairs[i][0]], hi = (V4i)a[pairs[i][1]];
    b[2 * i] = __builtin_shufflevector(lo, hi, 0, 4, 1, 5);
    b[2 * i + 1] = __builtin_shufflevector(lo, hi, 2, 6, 3, 7);
  }
  // b0 b1 come from rows 0..3 columns 0..3, b2 b3 rows 0..3 columns 4..7, b4..b7 rows 4..7.
  const int order[4][2] = {{0, 4}, {1, 5}, {2, 6}, {3, 7}};
  for (int i = 0; i < 4; ++i) {
    V2l lo = (V2l)b[order[i][0]], hi = (V2l)b[order[i][1]];
    c[2 * i] = (V8s)__builtin_shufflevector(lo, hi, 0, 2);
    c[2 * i + 1] = (V8s)__builtin_shufflevector(lo, hi, 1, 3);
  }
}

static void inverseTransformKernel(const int16_t coef[64], const uint16_t quant[64], int16_t out[64]) {
  V8i x[8], y[8];
  for (int r = 0; r < 8; ++r) {
    V8us q;
    __builtin_memcpy(&q, quant + r * 8, sizeof q);
    x[r] = widen(load8(coef + r * 8)) * __builtin_convertvector(q, V8i);
  }
  // Columns: one lane per column. A column whose rows 1..7 are zero comes out as its DC product
  // eight times, as the format asks, without a special case.
  idctPass(x, y);
  V8s ws[8], t[8];
  for (int r = 0; r < 8; ++r) ws[r] = narrow(y[r]);
  // Rows: one lane per row.
  transpose(ws, t);
  for (int k = 0; k < 8; ++k) x[k] = widen(t[k]);
  idctPass(x, y);
  for (int k = 0; k < 8; ++k) t[k] = narrow(y[k] >> 3);
  transpose(t, ws);
  __builtin_memcpy(out, ws, sizeof ws);
}

static inline V8i clamp255(V8i v) {
  const V8i zero = splat(0), top = splat(255);
  v = v < zero ? zero : v;
  return v > top ? top : v;
}

static inline void packRow(const int16_t* luma, V8i redTerm, V8i greenTerm, V8i blueTerm, uint16_t* out) {
  V8i base = widen(load8(luma)) + splat(128);  // index y + 384, less the 256 the tables start at
  V8i r = clamp255(base + redTerm), g = clamp255(base - greenTerm), b = clamp255(base + blueTerm);
  V8i v = ((r & splat(0xF8)) << 8) | ((g & splat(0xFC)) << 3) | (b >> 3);
  V8us p = __builtin_convertvector(v, V8us);
  __builtin_memcpy(out, &p, sizeof p);
}

static void convertMacroblockKernel(const int16_t luma[4][64], const int16_t c1[64], const int16_t c2[64],
                                    uint16_t* out, size_t stride) {
  for (int cy = 0; cy < 8; ++cy) {
    V8i a = widen(load8(c1 + cy * 8)), b = widen(load8(c2 + cy * 8));
    V8i rt = mulK(b, 116129), bt = mulK(a, 91881);
    V8i gt = (V8i)((V8u)b * V8u{22553, 22553, 22553, 22553, 22553, 22553, 22553, 22553} +
                   (V8u)a * V8u{46801, 46801, 46801, 46801, 46801, 46801, 46801, 46801}) >>
             16;
    // Each chroma sample serves two columns.
    V8i rtL = __builtin_shufflevector(rt, rt, 0, 0, 1, 1, 2, 2, 3, 3);
    V8i rtR = __builtin_shufflevector(rt, rt, 4, 4, 5, 5, 6, 6, 7, 7);
    V8i gtL = __builtin_shufflevector(gt, gt, 0, 0, 1, 1, 2, 2, 3, 3);
    V8i gtR = __builtin_shufflevector(gt, gt, 4, 4, 5, 5, 6, 6, 7, 7);
    V8i btL = __builtin_shufflevector(bt, bt, 0, 0, 1, 1, 2, 2, 3, 3);
    V8i btR = __builtin_shufflevector(bt, bt, 4, 4, 5, 5, 6, 6, 7, 7);
    for (int dy = 0; dy < 2; ++dy) {
      int row = cy * 2 + dy;
      const int16_t* left = luma[row < 8 ? 0 : 2] + (row & 7) * 8;
      const int16_t* right = luma[row < 8 ? 1 : 3] + (row & 7) * 8;
      uint16_t* o = out + (size_t)row * stride;
      packRow(left, rtL, gtL, btL, o);
      packRow(right, rtR, gtR, btR, o + 8);
    }
  }
}
