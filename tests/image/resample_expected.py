#!/usr/bin/env python3
"""Expected values of resample_test.cpp, worked out with exact rational arithmetic.

Nothing here is taken from the C++ code: the filters, the contributor ranges, the weights and
the two passes are written from their mathematical definition with fractions.Fraction (B and C
are exactly 1/3), so every weight and every pixel value is exact. The C++ code works in doubles;
its bytes must still equal these wherever the exact value is not within 1e-6 of a rounding
boundary, and this script refuses any case where it is (there the double's last bits would
decide). Run it to reprint the tables that the test holds:

    python3 tests/image/resample_expected.py
"""
from fractions import Fraction as F
from math import ceil, floor, lcm

B = C = F(1, 3)
MARGIN = F(1, 10**6)


def cubic(x):
    a = abs(x)
    if a < 1:
        return ((12 - 9 * B - 6 * C) * a**3 + (-18 + 12 * B + 6 * C) * a**2 + (6 - 2 * B)) / 6
    if a < 2:
        return ((-B - 6 * C) * a**3 + (6 * B + 30 * C) * a**2 + (-12 * B - 48 * C) * a
                + (8 * B + 24 * C)) / 6
    return F(0)


def triangle(x):
    a = abs(x)
    return 1 - a if a < 1 else F(0)


class Ambiguous(Exception):
    """A pixel value too close to a rounding boundary for doubles to be sure to agree."""


def contributions(filt, d, s, normalise=True):
    """One (first, last, weights) per destination sample."""
    f, support = (cubic, 2) if filt == "cubic" else (triangle, 1)
    scale = F(d, s)
    width, fscale = (support / scale, scale) if scale < 1 else (F(support), F(1))
    n = 2 * ceil(width) + 1
    lists = []
    for i in range(d):
        center = i / scale + F(1, 2) / scale - F(1, 2)
        lo, hi = center - width, center + width
        # An integral edge lies exactly on the filter's support: that contributor's weight is 0,
        # and whether it is listed depends on the doubles reaching the integer exactly. The
        # weight table keeps only cases where they do (ratios that doubles hold exactly).
        first = max(floor(lo), 0)
        last = min(ceil(hi), s - 1)
        if last - first + 1 > n:
            if first < s:
                first += 1
            else:
                last -= 1
        w = [f((center - j) * fscale) * fscale for j in range(first, last + 1)]
        total = sum(w)
        if normalise and total > 0 and total != 1:
            w = [x / total for x in w]
        lists.append((first, last, w))
    return lists


def to_byte(v):
    frac = v + F(1, 2) - floor(v + F(1, 2))
    if 0 <= v + F(1, 2) <= 256 and (frac < MARGIN or 1 - frac < MARGIN):
        raise Ambiguous(f"value {float(v)} next to a rounding boundary")
    return min(max(floor(v + F(1, 2)), 0), 255)


def integer_lists(d, s):
    """The cubic lists with each list's weights, before they are divided by their sum, over one
    common denominator: a sum of byte times weight is then an exact integer sum, divided once
    (much faster than adding fractions)."""
    lists = []
    for first, _, w in contributions("cubic", d, s, normalise=False):
        total = sum(w)
        den = lcm(*(x.denominator for x in w))
        scale = total * den if total > 0 else F(den)
        lists.append((first, scale, [x.numerator * (den // x.denominator) for x in w]))
    return lists


def rows_pass(src, sw, dw, rows, bpp):
    lists = integer_lists(dw, sw)
    out = bytearray(dw * rows * bpp)
    for y in range(rows):
        for x, (first, den, w) in enumerate(lists):
            for c in range(bpp):
                acc = sum(src[(y * sw + first + k) * bpp + c] * wk for k, wk in enumerate(w))
                out[(y * dw + x) * bpp + c] = to_byte(acc / den)
    return out


def columns_pass(src, sw, sh, columns, dh, bpp):
    lists = integer_lists(dh, sh)
    out = bytearray(columns * dh * bpp)
    for x in range(columns):
        for y, (first, den, w) in enumerate(lists):
            for c in range(bpp):
                acc = sum(src[((first + k) * sw + x) * bpp + c] * wk for k, wk in enumerate(w))
                out[(y * columns + x) * bpp + c] = to_byte(acc / den)
    return out


def resample(src, sw, sh, dw, dh, bpp, rows_first):
    if rows_first:
        return columns_pass(rows_pass(src, sw, dw, sh, bpp), dw, sh, dw, dh, bpp)
    return rows_pass(columns_pass(src, sw, sh, sw, dh, bpp), sw, dw, dh, bpp)


def content(seed, n, mode):
    """The test's pixel bytes: a 31-bit linear congruential generator in one of three mixes
    (noise; hard 0/255 edges, which the cubic's overshoot must clamp; noise with runs of 255)."""
    out = bytearray(n)
    state = seed
    for i in range(n):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        r = state >> 16
        out[i] = (r & 255 if mode == 0 else 255 if (mode == 1 and r & 1) else 0 if mode == 1
                  else (r >> 2) & 255 if r & 3 else 255)
    return out


def fnv1a(data):
    h = 0x811C9DC5
    for b in data:
        h = ((h ^ b) * 0x01000193) & 0xFFFFFFFF
    return h


WEIGHT_CASES = [("cubic", 4, 2), ("cubic", 2, 4), ("cubic", 3, 3), ("cubic", 1, 1),
                ("cubic", 7, 3), ("cubic", 3, 7), ("cubic", 5, 12), ("cubic", 1, 5),
                ("triangle", 5, 2), ("triangle", 3, 8), ("triangle", 6, 6)]

# sw, sh, dw, dh, bpp, mode: rows not a multiple of the four lanes, every depth, shrink,
# enlarge and mixed, one-pixel sides, and strong shrinks whose columns pass runs in strips.
# The first cases have sides where both pass orders give the same intermediate size (rows go
# first then) or where the smaller intermediate decides; for them the content is chosen so that
# the two orders give different bytes.
RESAMPLE_CASES = [
    (2, 3, 4, 6, 1, 0), (9, 5, 3, 7, 2, 1), (5, 9, 7, 3, 2, 2), (16, 4, 5, 11, 3, 0),
    (4, 16, 11, 5, 4, 1),
    (1, 1, 1, 1, 4, 0), (1, 1, 5, 3, 3, 1), (5, 1, 1, 1, 1, 2), (13, 7, 29, 17, 1, 2),
    (37, 23, 11, 45, 3, 0), (31, 37, 44, 19, 4, 0), (17, 17, 19, 15, 3, 0),
    (193, 107, 80, 60, 1, 0), (64, 48, 161, 121, 3, 0), (300, 5, 17, 40, 4, 1),
    (50, 400, 47, 3, 3, 0), (300, 500, 20, 4, 1, 2), (7, 250, 9, 2, 2, 1),
    (63, 63, 150, 150, 3, 1),
]
ORDER_CASES = 5

# Single passes. Rows: sw, dw, rows, bpp, mode. Columns: sw, sh, columns (fewer than sw: the
# source stride stays the full row), dh, bpp, mode.
ROWS_CASES = [(6, 9, 4, 2, 0), (50, 13, 7, 3, 1), (3, 41, 5, 4, 2), (29, 1, 3, 1, 0)]
COLUMNS_CASES = [(6, 4, 5, 3, 2, 0), (30, 45, 17, 8, 3, 2), (12, 7, 12, 33, 4, 1),
                 (9, 3, 1, 10, 1, 0)]


def first_clean_seed(run, must_differ=None):
    """The first seed from 1 up whose content meets no rounding boundary (and, for the order
    cases, whose bytes differ from the other order's), with the bytes it gives."""
    for seed in range(1, 1000):
        try:
            got = run(seed)
            if must_differ and must_differ(seed) == got:
                continue
            return seed, got
        except Ambiguous:
            continue
    raise Ambiguous("every seed meets a rounding boundary")


def other_or_none(run):
    try:
        return run()
    except Ambiguous:
        return None


def main():
    print("// Weights: one row per output sample: filter, destination, source, first, last; weights.")
    for filt, d, s in WEIGHT_CASES:
        for first, last, w in contributions(filt, d, s):
            weights = ", ".join(repr(float(x)) for x in w)
            print(f"    {{{{{filt.upper()}, {d}, {s}, {first}, {last}}}, {{{weights}}}}},")
    print("\n// ImageResample: sw, sh, dw, dh, bpp, mode, seed, hash")
    for index, (sw, sh, dw, dh, bpp, mode) in enumerate(RESAMPLE_CASES):
        rows_first = sh * dw <= sw * dh
        n = sw * sh * bpp
        run = lambda seed, order=rows_first: resample(content(seed, n, mode), sw, sh, dw, dh,
                                                      bpp, order)
        differ = (lambda seed: other_or_none(lambda: run(seed, not rows_first))) \
            if index < ORDER_CASES else None
        try:
            seed, got = first_clean_seed(run, differ)
        except Ambiguous:
            print(f"    // {sw}x{sh} to {dw}x{dh}: every seed meets a rounding boundary")
            continue
        print(f"    {{{sw}, {sh}, {dw}, {dh}, {bpp}, {mode}, {seed}, 0x{fnv1a(got):08X}u}},")
    print("\n// ResampleRows: sw, dw, rows, bpp, mode, seed, hash")
    for sw, dw, rows, bpp, mode in ROWS_CASES:
        seed, got = first_clean_seed(
            lambda seed: rows_pass(content(seed, sw * rows * bpp, mode), sw, dw, rows, bpp))
        print(f"    {{{sw}, {dw}, {rows}, {bpp}, {mode}, {seed}, 0x{fnv1a(got):08X}u}},")
    print("\n// ResampleColumns: sw, sh, columns, dh, bpp, mode, seed, hash")
    for sw, sh, columns, dh, bpp, mode in COLUMNS_CASES:
        seed, got = first_clean_seed(lambda seed: columns_pass(
            content(seed, sw * sh * bpp, mode), sw, sh, columns, dh, bpp))
        print(f"    {{{sw}, {sh}, {columns}, {dh}, {bpp}, {mode}, {seed}, 0x{fnv1a(got):08X}u}},")


if __name__ == "__main__":
    main()
