#!/usr/bin/env python3
"""Roots of random polynomials against a 60-digit reference.

Denominators of RC ladders, of active filter cascades and polynomials built
from random roots, with element values and root magnitudes spread over 12
decades, are computed at 60 digits, rounded (and sometimes perturbed within
error bounds that are passed along), and given to the root finder through
root_probe. Every root it reports as reliable must be right: a single root
within its stated uncertainty of a root of the exact polynomial, a cluster
of multiplicity m with m roots within its spread and their mean within its
uncertainty, never a root used twice, and the multiplicities adding up to
the degree. Usage: check_roots.py ROOT_PROBE [CASES]
"""
import random
import subprocess
import sys

try:
    import mpmath as mp
except ImportError:
    print("skipped: python3-mpmath is not installed")
    sys.exit(77)

mp.mp.dps = 60
RELIABLE = mp.mpf("1e-6")


def log_uniform(rnd, low, high):
    return mp.mpf(10) ** mp.mpf(rnd.uniform(low, high))


def poly_mul(p, q):
    out = [mp.mpf(0)] * (len(p) + len(q) - 1)
    for i, a in enumerate(p):
        for j, b in enumerate(q):
            out[i + j] += a * b
    return out


def from_roots(lead, roots):
    """Real coefficients of lead * prod (s - r), s^0 first."""
    p = [mp.mpc(lead)]
    for r in roots:
        p = poly_mul(p, [-mp.mpc(r), mp.mpc(1)])
    return [mp.re(c) for c in p]


def ladder(rnd):
    """det(G + sC) of an RC ladder: series resistors, shunt capacitors and
    now and then a shunt resistor; poles from the symmetric eigenproblem,
    polished by Newton steps on the polynomial."""
    n = rnd.randint(2, 14)
    series = [log_uniform(rnd, -1, 11) for _ in range(n)]
    shunt_c = [log_uniform(rnd, -15, -3) for _ in range(n)]
    shunt_g = [1 / log_uniform(rnd, -1, 11) if rnd.random() < 0.2 else mp.mpf(0) for _ in range(n)]
    g = mp.matrix(n, n)
    for k in range(n):
        gk = 1 / series[k]
        g[k, k] += gk + shunt_g[k]
        if k > 0:
            g[k - 1, k - 1] += gk
            g[k - 1, k] -= gk
            g[k, k - 1] -= gk
    # The continuant of the tridiagonal G + sC.
    before, current = [mp.mpf(1)], [g[0, 0], shunt_c[0]]
    for k in range(1, n):
        nxt = poly_mul(current, [g[k, k], shunt_c[k]])
        off = poly_mul(before, [g[k, k - 1] ** 2])
        for i, c in enumerate(off):
            nxt[i] -= c
        before, current = current, nxt
    a = mp.matrix(n, n)
    for i in range(n):
        for j in range(n):
            a[i, j] = g[i, j] / mp.sqrt(shunt_c[i] * shunt_c[j])
    roots = []
    for e in mp.eigsy(a, eigvals_only=True):
        r = -e
        for _ in range(8):
            value = mp.polyval(current[::-1], r)
            slope = mp.polyval([c * k for k, c in enumerate(current)][:0:-1], r)
            if slope == 0:
                break
            r -= value / slope
        roots.append(r)
    return current, roots


def cascade(rnd):
    """Active filter sections in cascade: first-order stages and
    Sallen-Key biquads of gain K (some unstable), resonators on the
    imaginary axis, and identical stages repeated."""
    stages = []
    for _ in range(rnd.randint(1, 6)):
        kind = rnd.random()
        r1, r2 = log_uniform(rnd, 0, 12), log_uniform(rnd, 0, 12)
        c1, c2 = log_uniform(rnd, -15, -3), log_uniform(rnd, -15, -3)
        if kind < 0.25:
            stage = [mp.mpf(1), r1 * c1]
        elif kind < 0.3:
            stage = [mp.mpf(1), mp.mpf(0), r1 * c1 * r2 * c2]
        else:
            gain = mp.mpf(1) if rnd.random() < 0.5 else mp.mpf(rnd.uniform(1, 3.2))
            stage = [mp.mpf(1), (r1 + r2) * c2 + r1 * c1 * (1 - gain), r1 * r2 * c1 * c2]
        for _ in range(rnd.choice([1, 1, 1, 2, 3])):
            stages.append(stage)
    coefficients, roots = [mp.mpf(1)], []
    for stage in stages:
        coefficients = poly_mul(coefficients, stage)
        if len(stage) == 2:
            roots.append(-stage[0] / stage[1])
        else:
            c, b, a = stage
            disc = mp.sqrt(mp.mpc(b * b - 4 * a * c))
            roots += [(-b + disc) / (2 * a), (-b - disc) / (2 * a)]
    return coefficients, roots


def random_roots(rnd):
    """Real roots and conjugate pairs of magnitudes over 12 decades, some
    repeated, some nearly so, some in the right half-plane or on the
    imaginary axis."""
    roots = []
    while len(roots) < rnd.randint(2, 16):
        size = log_uniform(rnd, -6, 6)
        repeat = rnd.choice([1, 1, 1, 1, 2, 3, 4])
        if rnd.random() < 0.4:
            group = [size * (-1 if rnd.random() < 0.85 else 1)]
        else:
            q = log_uniform(rnd, -0.3, 3)
            re = -size / (2 * q) * (1 if rnd.random() < 0.9 else -1)
            if rnd.random() < 0.05:
                re = mp.mpf(0)
            im = mp.sqrt(size ** 2 - re ** 2)
            group = [mp.mpc(re, im), mp.mpc(re, -im)]
        for _ in range(repeat):
            roots += group
        if rnd.random() < 0.05:
            shift = 1 + log_uniform(rnd, -12, -3)
            roots += [r * shift for r in group]
    return from_roots(log_uniform(rnd, -20, 20), roots), roots


def rounded_case(rnd, coefficients):
    """The coefficients as the probe will see them, with their bounds: as
    rounded to long double, or perturbed within wider bounds."""
    if rnd.random() < 0.3:
        relative = log_uniform(rnd, -18, -8)
        bounds = [abs(c) * relative for c in coefficients]
        given = [c + b * mp.mpf(rnd.uniform(-1, 1)) for c, b in zip(coefficients, bounds)]
    else:
        given = coefficients
        bounds = [abs(c) * mp.mpf(2) ** -63 for c in coefficients]
    return given, bounds


def check(reference, reported, tag):
    """Problems with one reported set; and the counts of reliable roots."""
    problems = []
    unused = list(reference)
    total = sum(m for _, _, m, _, _ in reported)
    if total != len(reference):
        problems.append(f"{tag}: multiplicities add up to {total}, degree {len(reference)}")
    reliable = 0
    for value, ok, m, uncertainty, spread in sorted(reported, key=lambda r: (r[3], -r[2])):
        if not ok:
            continue
        reliable += m
        size = abs(value)
        if uncertainty > RELIABLE:
            problems.append(f"{tag}: reliable root {value} with uncertainty {uncertainty}")
        unused.sort(key=lambda r: abs(r - value))
        members, unused = unused[:m], unused[m:]
        slack = size * mp.mpf("1e-17")  # the printed digits
        mean = sum(members, mp.mpf(0)) / m if len(members) == m else None
        worst = max((abs(r - value) for r in members), default=mp.inf)
        if mean is None or abs(mean - value) > uncertainty * size * mp.mpf("1.01") + slack \
                or (m > 1 and worst > spread * size * mp.mpf("1.01") + slack):
            problems.append(f"{tag}: wrong reliable root {mp.nstr(value, 12)} x{m} (uncertainty {uncertainty}, "
                            f"spread {spread}); nearest {[mp.nstr(r, 12) for r in members]}")
    return problems, reliable


def main():
    probe = sys.argv[1]
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    rnd = random.Random(20201)
    kinds = [("ladder", ladder), ("cascade", cascade), ("roots", random_roots)]
    batch, lines = [], []
    for index in range(cases):
        name, make = kinds[index % len(kinds)]
        coefficients, roots = make(rnd)
        given, bounds = rounded_case(rnd, coefficients)
        batch.append((f"{name} case {index}", roots))
        lines.append(" ".join([str(len(given) - 1)] + [mp.nstr(c, 30) for c in given] +
                              [mp.nstr(b, 30) for b in bounds]))
    run = subprocess.run([probe], input="\n".join(lines) + "\n", capture_output=True, text=True, check=True)
    outputs = run.stdout.splitlines()
    if len(outputs) != len(batch):
        print(f"root_probe answered {len(outputs)} of {len(batch)} cases")
        return 1
    problems, counts = [], {}
    for (tag, reference), line in zip(batch, outputs):
        words = line.split()
        reported = []
        for k in range(int(words[0])):
            re, im, ok, m, uncertainty, spread = words[1 + 6 * k:7 + 6 * k]
            value = mp.mpc(mp.mpf(re), mp.mpf(im)) if mp.mpf(im) != 0 else mp.mpf(re)
            reported.append((value, ok == "1", int(m), mp.mpf(uncertainty), mp.mpf(spread)))
        found, reliable = check(reference, reported, tag)
        problems += found
        kind = tag.split()[0]
        total, good = counts.get(kind, (0, 0))
        counts[kind] = (total + len(reference), good + reliable)
    # Not so cautious that little is left: the share of roots proved.
    least = {"ladder": 0.99, "cascade": 0.95, "roots": 0.95}
    for kind, (total, good) in counts.items():
        print(f"{kind}: {good} of {total} roots reliable ({100 * good / total:.1f}%)")
        if good < least[kind] * total:
            problems.append(f"{kind}: fewer than {100 * least[kind]:.0f}% of the roots reliable")
    for problem in problems[:40]:
        print(problem)
    print(f"{len(problems)} problems in {cases} cases")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
