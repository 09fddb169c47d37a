"""Exact model of fare's reader, arithmetic and report, for the e2e tests.

Rounding is done on Fractions so no step depends on the host's float maths.
"""
from fractions import Fraction

import dialogues as table  # the texts; the figures are worked out here

INF = float("inf")
SPACE = " \t\n\v\f\r"
DIGITS = "0123456789"


def read_number(text):
    """One formatted read: (value, rest). A failed read yields 0.0."""
    def skip(i, chars):
        while i < len(text) and text[i] in chars:
            i += 1
        return i

    def at(i, chars):
        return i < len(text) and text[i] in chars

    start = skip(0, SPACE)
    i = start + at(start, "+-")
    end = skip(i, DIGITS)
    if at(end, "."):
        end = skip(end + 1, DIGITS)
    if not any(c in DIGITS for c in text[i:end]):
        return 0.0, text[end:]
    if at(end, "eE"):
        e = end + 1 + at(end + 1, "+-")
        end = skip(e, DIGITS)
        if end == e:
            return 0.0, text[end:]
    return float(text[start:end]), text[end:]


def round_to(x, bits, emin=None, emax=None):
    """Round Fraction x to a bits-wide significand, ties to even.

    emin is the lowest normal exponent (None: unbounded, no subnormals);
    results at or above 2**(emax+1) become infinite.
    """
    if x == 0:
        return Fraction(0)
    sign, a = (1, x) if x > 0 else (-1, -x)
    e = a.numerator.bit_length() - a.denominator.bit_length()
    if Fraction(2) ** e > a:
        e -= 1
    if emin is not None:
        e = max(e, emin)
    ulp = Fraction(2) ** (e - bits + 1)
    q, r = divmod(a, ulp)
    if r * 2 > ulp or (r * 2 == ulp and q % 2 == 1):
        q += 1
    a = q * ulp
    if emax is not None and a >= Fraction(2) ** (emax + 1):
        return sign * INF
    return sign * a


def to_single(x):
    return float(round_to(x, 24, -126, 127))


def to_extended(x):
    return round_to(x, 64)


D = Fraction(0.3)  # the double nearest 0.3


def quote(length, days):
    """(cost, discount, total) as floats; discount/total None if not discounted."""
    if length in (INF, -INF):
        cost = length
    else:
        cost = to_single(Fraction(length) * Fraction(5, 2))
        if cost == 0 and str(length).startswith("-"):
            cost = -0.0
    if not (days > 7.0 and length > 800.0):
        return cost, None, None
    if cost == INF:
        return cost, INF, float("nan")
    discount = to_single(to_extended(Fraction(cost) * D))
    return cost, discount, to_single(Fraction(cost) - Fraction(discount))


def report(cost, discount, total):
    price = lambda value: b"%f" % value  # noqa: E731
    if discount is None:
        return table.cost_only(price(cost))
    # the one NaN, infinity minus infinity, has its sign bit set, as on x86
    return table.discounted(price(cost), price(discount), b"-nan" if total != total else price(total))


def expected_output(stdin_text):
    """Exact stdout bytes for the given stdin (bytes or str)."""
    if isinstance(stdin_text, bytes):
        stdin_text = stdin_text.decode("latin-1")
    length, rest = read_number(stdin_text)
    days, _ = read_number(rest)
    return table.PROMPTS + report(*quote(length, days))

