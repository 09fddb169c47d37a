"""Compare fare with the exact reference on crafted inputs and a few thousand
generated ones, and the reference with every row of the dialogue table, so
that neither a wrong row nor a wrong reference can hide.

FARE_REFERENCE_SAMPLE=N keeps every crafted input but only N of the generated
ones, for a slow emulator; the sample comes from a fresh seed each run unless
FARE_TEST_SEED gives one, and a failure names the seed so that it repeats.
"""
import concurrent.futures
import os
import random
import struct
from fractions import Fraction

import pytest

import dialogues as table
import reference as ref
from launch import piped, same_run

DEFAULT_SEED = 20240607
rng = random.Random(DEFAULT_SEED)


def step(x, k):
    """The double k ulps above (k < 0: below) positive finite x."""
    return struct.unpack("<d", struct.pack("<q", struct.unpack("<q", struct.pack("<d", x))[0] + k))[0]


def exact_decimal(q):
    """Exact decimal text of a dyadic Fraction."""
    k = q.denominator.bit_length() - 1
    digits = str(abs(q.numerator) * 5 ** k).rjust(k + 1, "0")
    return ("-" if q < 0 else "") + digits[:len(digits) - k] + "." + digits[len(digits) - k:]


def decimal(lo=-45, hi=39):
    """Random decimal text near 10**lo..10**hi: 1..20 significant digits, assorted spellings."""
    digits = str(rng.randint(1, 9)) + "".join(rng.choice("0123456789") for _ in range(rng.randint(0, 19)))
    point = rng.randint(0, len(digits))
    mant = digits[:point] + "." + digits[point:] if rng.random() < 0.8 else digits
    sign = rng.choice(["", "", "-", "+"])
    if rng.random() < 0.15:
        return sign + mant
    exp = rng.randint(lo, hi) - (point if "." in mant else len(digits)) + 1
    return (sign + mant + rng.choice("eE") + rng.choice(["", "+"] if exp >= 0 else ["-"])
            + str(abs(exp)).rjust(rng.randint(1, 3), "0"))


def pair(length, days=None):
    days = days or rng.choice([decimal(-3, 3), "10", "3", "7", "8", repr(step(7.0, 1)), repr(step(7.0, -1))])
    return length + rng.choice([" ", "\n", "\t", "\r\n", " \n\n  "]) + days + rng.choice(["\n", "", " \n", "\nxyz\n"])


def double_rounding_lengths(n):
    """Lengths whose product, if rounded to double before single, lands wrong."""
    found = []
    while len(found) < n:
        e = rng.randint(-30, 100)
        h = Fraction(2 * rng.randint(1 << 23, (1 << 24) - 1) + 1) * Fraction(2) ** (e - 24)
        base = float(h / Fraction(5, 2))
        for k in (-2, -1, 0, 1, 2):
            x = step(base, k)
            p = Fraction(x) * Fraction(5, 2)
            if ref.to_single(p) != ref.to_single(Fraction(float(p))):
                found.append(repr(x))
    return found


def cases():
    """(crafted, generated): inputs chosen by hand, and random ones."""
    crafted = ["460.85207519531252\n2", "10507.860546874999\n9", "12943121.199999999\n9"]
    out = [pair(decimal()) for _ in range(1400)]
    out += [pair(decimal(0, 6), rng.choice(["10", "3"])) for _ in range(300)]
    # fare threshold: 800 and 7 with their neighbouring doubles and exact midpoints
    mid800 = (Fraction(800) + Fraction(step(800.0, 1))) / 2
    mid7 = (Fraction(7) + Fraction(step(7.0, 1))) / 2
    lengths = [repr(step(800.0, k)) for k in range(-2, 3)] + ["800", "800.0", "8e2", "+800.", "0800.000"]
    lengths += [exact_decimal(mid800), exact_decimal(mid800) + "0001", exact_decimal(mid800)[:-1]]
    dayss = [repr(step(7.0, k)) for k in range(-2, 3)] + ["7", "7.", "70e-1", exact_decimal(mid7), exact_decimal(mid7) + "01"]
    crafted += ["%s %s" % (l, d) for l in lengths for d in dayss]
    out += [pair(s, rng.choice(["10", "5", "7.5"])) for s in double_rounding_lengths(200)]
    # exact %f ties (cost an odd multiple of 2**-7) and exact single-rounding ties
    for _ in range(150):
        out.append(pair(exact_decimal(Fraction(rng.randrange(1677723, 3355443, 2), 64))))
        out.append(pair(exact_decimal(Fraction(rng.randrange(3355443, 6710886, 2), 128))))
    # the overflow edge of single precision
    edge = float(Fraction(2 ** 128 - 2 ** 103) / Fraction(5, 2))
    top = float(Fraction(2 ** 128 - 2 ** 104) / Fraction(5, 2))
    for x in (edge, top):
        crafted += [pair(s + repr(step(x, k)), rng.choice(["10", "1"])) for k in range(-3, 4) for s in ("", "-")]
    out += [pair("1.36112%de38" % rng.randint(0, 10 ** 9)) for _ in range(60)]
    crafted += ["%s %s" % (s, d) for s in ("1e400", "-1e400", "3.5e38", "1.7976931348623157e308") for d in ("10", "3")]
    # subnormal products, including exact ties at the bottom of the range
    out += [pair(rng.choice(["", "-"]) + "%de-%d" % (rng.randint(1, 99999), rng.randint(43, 50))) for _ in range(100)]
    crafted += [pair(rng.choice(["", "-"]) + repr(k * 2.0 ** -149), "1") for k in range(1, 40)]
    # reader: arbitrary runs of number-ish fragments and junk
    frags = ["", " ", "\n", "\t", "\r", "\v", "\f", "+", "-", ".", "e", "E", "x", ",", "0", "1", "7", "9",
             "800", "inf", "nan", "0x", "a", "1e", "e5", "12.5", "-3", "8", "10", "7.01", "1e1"]
    junk = ["".join(rng.choice(frags) for _ in range(rng.randint(0, 10))) for _ in range(700)]
    # a failed first read leaves length 0, hiding the second; so half start with a good length
    out += [rng.choice(["", "1000", "2e3", " 900.5"]) + j for j in junk]
    return crafted, out


# This test is about digits; leaks are the pipe test's to find under a
# sanitizer. The leak check at exit would be most of each sanitized run.
ENVIRONMENT = dict(os.environ, ASAN_OPTIONS=":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"])))


SAMPLE = int(os.environ["FARE_REFERENCE_SAMPLE"]) if os.environ.get("FARE_REFERENCE_SAMPLE") else None
SEED = int(os.environ.get("FARE_TEST_SEED", DEFAULT_SEED if SAMPLE is None else random.SystemRandom().randrange(2 ** 32)))
rng.seed(SEED)
CRAFTED, GENERATED = cases()
INPUTS = CRAFTED + (GENERATED if SAMPLE is None else rng.sample(GENERATED, min(SAMPLE, len(GENERATED))))


@pytest.fixture(scope="module")
def runs(command, request):
    """The run of every input this session selected, keeping every core
    busy: a run is mostly the program starting (more so under a sanitizer
    or an emulator), so runs overlap whatever the machine."""
    selected = [item.callspec.params["text"] for item in request.session.items if item.module is request.module
                and hasattr(item, "callspec") and "text" in item.callspec.params]
    workers = 2 * (os.cpu_count() or 1) + 2
    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        return dict(zip(selected, pool.map(lambda text: piped(command, text.encode("latin-1"), env=ENVIRONMENT,
                                                             seconds=30), selected)))


@pytest.mark.parametrize("row", [pytest.param(row, id=table.label(row)) for row in table.DIALOGUES])
def test_reference_agrees_with_the_table(row):
    assert ref.expected_output(table.typed(row).decode("latin-1")) == table.expected(row)


@pytest.mark.parametrize("text", [pytest.param(text, id=repr(text)[1:-1][:60]) for text in INPUTS])
def test_run(runs, text):
    same_run("the run (FARE_TEST_SEED=%d repeats it)" % SEED, runs[text], 0, ref.expected_output(text))
