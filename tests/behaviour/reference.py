"""Exact model of fare's reader, arithmetic and report, for the e2e tests.

Rounding is done on Fractions so no step depends on the host's float maths.
"""
import math
import re
from fractions import Fraction

import dialogues as table  # the texts; the figures are worked out here

INF = float("inf")
# What one formatted read takes: white space, then a sign, digits with or
# without a point, and an exponent mark with its sign and digits.
NUMBER = re.compile(r"[ \t\n\v\f\r]*(?P<number>[+-]?(?P<mantissa>[0-9]*\.?[0-9]*)"
                    r"(?P<exponent>[eE][+-]?(?P<power>[0-9]*))?)")


def read_number(text):
    """One formatted read: (value, rest). A failed read (a mantissa, or an
    exponent, without digits) yields 0.0, the rest after what it took."""
    read = NUMBER.match(text)
    if read["mantissa"] in ("", "."):
        return 0.0, text[read.end("mantissa"):]
    if read["exponent"] and not read["power"]:
        return 0.0, text[read.end():]
    return float(read["number"]), text[read.end():]


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


D = Fraction(0.3)  # the double nearest 0.3


def quote(length, days):
    """(cost, discount, total) as floats; discount/total None if not discounted."""
    if length in (INF, -INF):
        cost = length
    else:  # a cost rounded to zero keeps the length's sign
        cost = math.copysign(to_single(Fraction(length) * Fraction(5, 2)), length)
    if not (days > 7.0 and length > 800.0):
        return cost, None, None
    if cost == INF:
        return cost, INF, float("nan")
    discount = to_single(round_to(Fraction(cost) * D, 64))  # through the x87's extended precision
    return cost, discount, to_single(Fraction(cost) - Fraction(discount))


def report(cost, discount, total):
    price = lambda value: b"%f" % value  # noqa: E731
    if discount is None:
        return table.cost_only(price(cost))
    # the one NaN, infinity minus infinity, has its sign bit set, as on x86
    return table.discounted(price(cost), price(discount), b"-nan" if total != total else price(total))


def expected_output(stdin_text):
    """Exact stdout bytes for the given stdin, decoded as Latin-1."""
    length, rest = read_number(stdin_text)
    days, _ = read_number(rest)
    return table.PROMPTS + report(*quote(length, days))

