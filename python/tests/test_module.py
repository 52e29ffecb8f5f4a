"""The Python module against the program itself: the same formulas term for
term, the same numbers, the same errors; memory and speed of many calls;
Ctrl-C during a long analysis."""

import csv
import ctypes
import gc
import glob
import json
import os
import resource
import signal
import subprocess
import threading
import time

import numpy
import pytest
import sympy

import velkor

SOURCE = os.environ.get("VELKOR_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BINARY = os.environ.get("VELKOR_BINARY", "velkor")
GOLDEN = sorted(glob.glob(os.path.join(SOURCE, "tests", "golden", "*.net")))
EXAMPLES = os.path.join(SOURCE, "examples")


def program(*arguments, stdin=None):
    return subprocess.run([BINARY, *arguments], input=stdin, capture_output=True, check=False)


def polynomial(terms, s, symbols):
    return sympy.Add(*[t["coefficient"] * s**t["s"] * sympy.Mul(
        *[symbols.setdefault(n, sympy.Symbol(n))**e for n, e in t["factors"].items()]) for t in terms])


@pytest.mark.parametrize("path", GOLDEN, ids=os.path.basename)
def test_formulas_equal_the_programs_json(path):
    done = program("--format=json", path)
    document = json.loads(done.stdout)
    try:
        netlists = velkor.analyse(path)
    except velkor.VelkorError as error:
        # A netlist with a mistake: the module raises where the program
        # failed, with the first message's position, and keeps what was done.
        assert done.returncode == 1
        assert error.line is not None and error.column is not None
        netlists = error.result or []
    assert [n.number for n in netlists] == [n["number"] for n in document["netlists"]]
    s = sympy.Symbol("s")
    for mine, theirs in zip(netlists, document["netlists"]):
        expected = [p for p in theirs["parameters"]]
        assert list(mine.parameters) == [p["name"] for p in expected]
        for p in expected:
            got = mine.parameters[p["name"]]
            assert got.outcome == p["outcome"]
            if p["outcome"] != "done":
                continue
            assert [(t.coefficient, t.power, t.factors) for t in got.numerator] == \
                [(t["coefficient"], t["s"], t["factors"]) for t in p["numerator"]]
            assert [(t.coefficient, t.power, t.factors) for t in got.denominator] == \
                [(t["coefficient"], t["s"], t["factors"]) for t in p["denominator"]]
            if p["denominator"] and len(p["numerator"]) + len(p["denominator"]) < 200:
                symbols = {}
                built = polynomial(p["numerator"], s, symbols) / polynomial(p["denominator"], s, symbols)
                assert sympy.simplify(got.sympy() - built) == 0


def test_response_poles_and_approximation_match_the_program(tmp_path):
    net = os.path.join(EXAMPLES, "common_emitter_stage.net")
    values = os.path.join(EXAMPLES, "common_emitter_stage.values")
    done = program("--values=" + values, "--bode=" + str(tmp_path / "ce"), "--format=json", "--eval", net)
    assert done.returncode == 0, done.stderr
    document = json.loads(done.stdout)
    [netlist] = velkor.analyse(net, values=values)
    name = document["netlists"][0]["parameters"][0]["name"]
    parameter = netlist[name]
    with open(tmp_path / "ce.csv") as f:
        rows = list(csv.reader(f))
    header, rows = rows[0], rows[1:]
    frequencies = numpy.array([float(r[0]) for r in rows])
    magnitude = numpy.array([float(r[header.index(next(h for h in header if h.startswith(name) and "dB" in h))])
                             for r in rows])
    mine = 20 * numpy.log10(numpy.abs(parameter.response(frequencies)))
    assert numpy.allclose(mine, magnitude, rtol=0, atol=1e-6)
    expected_poles = [complex(*p) for p in document["netlists"][0]["parameters"][0]["numeric"]["poles"]]
    assert list(parameter.poles()) == pytest.approx(expected_poles)
    # The same parameter at other values, and approximated.
    other = parameter.at({"gm": 0.08, "rpi": 2500, "ro": 1e5, "rl": 5000, "cpi": 20e-12, "cmu": 2e-12,
                          "rs": 1000})
    assert other.numeric["dc"] != parameter.numeric["dc"]
    approximated = parameter.approximate(0.05)
    assert approximated.approximation["error"] <= 0.05
    assert len(approximated.numerator) + len(approximated.denominator) <= \
        len(parameter.numerator) + len(parameter.denominator)


@pytest.mark.parametrize("netlist, options, line, column", [
    ("r1 1 2\nf 1 0 2 0\nx9 1 2\nend\n", (), 3, 1),
    ("r1 1 2\nf 1 0 2 0\np g21\n", (), None, None),
])
def test_errors_raise_with_their_position(netlist, options, line, column):
    with pytest.raises(velkor.VelkorError) as caught:
        velkor.analyse(netlist, options=options)
    if line is not None:
        assert (caught.value.file, caught.value.line) == ("<string>", line)
        assert caught.value.column >= column


def test_bad_options_raise_with_status_2():
    with pytest.raises(velkor.VelkorError) as caught:
        velkor.analyse("r1 1 0\nf 1 0 1 0\nend\n", options=["--no-such-option"])
    assert caught.value.status == 2


class _MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]


def heap_in_use():
    """Bytes of the C heap in use (glibc's count), where the library's and
    the module's allocations live; Python's own small objects are apart."""
    gc.collect()
    libc = ctypes.CDLL(None)
    libc.mallinfo2.restype = _MallInfo2
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd


def test_many_calls_do_not_grow_and_beat_the_program():
    netlist = open(os.path.join(EXAMPLES, "sallen_key_lowpass.net")).read()
    for _ in range(50):
        velkor.analyse(netlist)
    heap = heap_in_use()
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.perf_counter()
    for _ in range(1000):
        velkor.analyse(netlist)
    inside = time.perf_counter() - start
    grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
    assert grown < 2048, "peak memory grew by %d KiB over 1000 calls" % grown
    # A block left behind by every call, even the smallest (32 bytes), would
    # add 32 KB; what Python keeps (caches of its own) is a few hundred.
    leaked = heap_in_use() - heap
    assert leaked < 16384, "the heap in use grew by %d bytes over 1000 calls" % leaked
    start = time.perf_counter()
    for _ in range(50):
        program("--format=json", stdin=netlist.encode())
    outside = (time.perf_counter() - start) * 20
    assert outside > 10 * inside, "1000 calls: %.2f s in-process, %.2f s as programs" % (inside, outside)


def test_ctrl_c_stops_a_long_analysis_within_a_second():
    # A ladder big enough to take many seconds.
    lines = ["r%d %d %d\nc%d %d 0" % (k, k, k + 1, k, k + 1) for k in range(1, 19)]
    netlist = "\n".join(lines) + "\nf 1 0 19 0\nend\n"
    timer = threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT))
    start = time.perf_counter()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        velkor.analyse(netlist)
    assert time.perf_counter() - start < 1.5
