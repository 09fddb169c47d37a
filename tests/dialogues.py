"""Whole dialogues with fare: what is typed, and the exact report that follows
the two prompts, for every behaviour check that runs whole dialogues."""
from typing import Callable, NamedTuple, Union

PROMPTS = b"Ingresa longitud\nIngresa dias de viaje\n"
# Standard error when the report could not be written.
WRITE_ERROR = b"error: no se pudo escribir el resultado\n"


def discounted(cost, discount, total):
    return b"el costo es %s \nel descuento es de %s \nel precio total es %s " % (cost, discount, total)


def cost_only(cost):
    return b"el costo es %s " % cost


D1750 = discounted(b"2500.000000", b"750.000000", b"1750.000000")
N2500 = cost_only(b"2500.000000")
ZERO = cost_only(b"0.000000")
D2000 = discounted(b"2000.000000", b"600.000000", b"1400.000000")
LENGTH_TIE = b"800.000000000000056843418860808014869689941406250"
DAYS_TIE = b"7.000000000000000444089209850062616169452667236328125"
# The two doubles nearest 1000.000146484375 (the length whose cost lies on the
# midpoint 2500 + 3 x 2^-13 between two floats) have this midpoint. It is a tie
# that goes to the lower one, so only a non-zero digit far behind it can lift
# the length, and with it the cost, to the upper one.
COST_TIE = b"1000.00014648437496589394868351519107818603515625"


class Dialogue(NamedTuple):
    # Bytes, or for a long input a function of the length n of its long runs
    # giving its pieces: bytes, or (pattern, count) for count bytes of pattern
    # over and over.
    typed: Union[bytes, Callable[[int], list]]
    report: bytes
    # Run under valgrind too: a dialogue for each way through the program
    # (valgrind is slow), none whose digits depend on rounding the exact
    # product once, which valgrind's long double (double precision only)
    # cannot do.
    valgrind: bool = False


DIALOGUES = [
    Dialogue(b"1000\n10\n", D1750, valgrind=True),
    Dialogue(b"1000\n8\n", D1750),
    Dialogue(b"1000\n7.5\n", D1750),
    Dialogue(b"1000\n7\n", N2500, valgrind=True),
    Dialogue(b"800\n10\n", cost_only(b"2000.000000")),
    Dialogue(b"800.1\n8\n", discounted(b"2000.250000", b"600.075012", b"1400.175049")),
    Dialogue(b"123.456\n3\n", cost_only(b"308.640015")),
    Dialogue(b"2175.76\n10\n", discounted(b"5439.399902", b"1631.819946", b"3807.580078")),
    Dialogue(b"-1000\n10\n", cost_only(b"-2500.000000")),
    Dialogue(b"0\n0\n", ZERO),
    # the product must be rounded once, straight to single precision
    Dialogue(b"460.85207519531252\n1\n", cost_only(b"1152.130249")),
    Dialogue(b"10507.860546874999\n1\n", cost_only(b"26269.650391")),
    Dialogue(b"12943121.199999999\n1\n", cost_only(b"32357802.000000")),
    Dialogue(b"10000.003\n3\n", cost_only(b"25000.007812")),
    # thresholds are strict and compared in double
    Dialogue(b"800.0000000000001\n10\n", D2000),
    Dialogue(b"1000\n7.000000000000001\n", D1750),
    Dialogue(b"1000\n7.0000000000000001\n", N2500),
    # reader: no hex, no inf/nan words, a comma ends the number
    Dialogue(b"0x3E8\n10\n", ZERO),
    Dialogue(b"1000\n0x10\n", N2500),
    Dialogue(b"inf\n10\n", ZERO),
    Dialogue(b"nan\n10\n", ZERO),
    Dialogue(b"1000\ninf\n", N2500),
    Dialogue(b"1000 infinity\n", N2500),
    Dialogue(b"1000\nnan\n", N2500),
    Dialogue(b"1000,5\n10\n", N2500, valgrind=True),
    Dialogue(b"abc", ZERO, valgrind=True),
    # exponents, signs, points
    Dialogue(b"1000 1e1\n", D1750),
    Dialogue(b"1E3 +8", D1750),
    Dialogue(b"1e3\n7e0\n", N2500),
    Dialogue(b"1000 8e\n", N2500),
    Dialogue(b"1000 8e+x\n", N2500),
    Dialogue(b"1000 +\n", N2500),
    Dialogue(b"1e\n10\n", ZERO),
    Dialogue(b"1e+x 5", ZERO, valgrind=True),
    Dialogue(b"- 1000 10\n", ZERO),
    Dialogue(b"+1000\n+10\n", D1750),
    Dialogue(b"1000.\n8.\n", D1750),
    Dialogue(b".5e4 .8e1", discounted(b"12500.000000", b"3750.000000", b"8750.000000")),
    Dialogue(b"-0\n0\n", cost_only(b"-0.000000")),
    Dialogue(b"-1e-45\n3\n", cost_only(b"-0.000000")),
    # range: overflow to infinity, underflow to zero
    Dialogue(b"1e400\n10\n", discounted(b"inf", b"inf", b"-nan"), valgrind=True),
    Dialogue(b"-1e400\n10\n", cost_only(b"-inf"), valgrind=True),
    Dialogue(b"1.4e38\n3\n", cost_only(b"inf")),
    Dialogue(b"1.36e38 10", discounted(b"339999995214436424907732413799364296704.000000",
                                       b"101999994507849006741985639350359031808.000000",
                                       b"238000000706587418165746774449005264896.000000")),
    Dialogue(b"1e" + b"9" * 30 + b"\n0\n", cost_only(b"inf"), valgrind=True),
    Dialogue(b"1e9999999999999999999\n3\n", cost_only(b"inf")),  # exponents past 64 bits
    Dialogue(b"1e-9999999999999999999\n3\n", ZERO),
    Dialogue(b"1e-400\n10\n", ZERO),
    Dialogue(b"-1e-400\n10\n", cost_only(b"-0.000000")),
    # correct rounding of long numbers, seen in whether the discount applies:
    # the midpoints between 800 and 7 and the doubles above them tie to even
    Dialogue(LENGTH_TIE + b"\n8\n", cost_only(b"2000.000000")),
    Dialogue(LENGTH_TIE + b"0" * 900 + b"1\n8\n", D2000),
    Dialogue(LENGTH_TIE + b"0" * 900 + b"\n8\n", cost_only(b"2000.000000")),  # zeros are no tail
    Dialogue(LENGTH_TIE[:-2] + b"4" + b"9" * 900 + b"\n8\n", cost_only(b"2000.000000")),
    Dialogue(b"1000\n" + DAYS_TIE + b"\n", N2500),
    Dialogue(b"1000\n" + DAYS_TIE + b"0" * 3000 + b"1\n", D1750),
    # white space, Windows line ends, missing input, both numbers on one line
    Dialogue(b"123.456\r\n3\r\n", cost_only(b"308.640015")),
    Dialogue(b" \t\n\r\v\f1000 \n\n\t 10", D1750),
    Dialogue(b"", ZERO, valgrind=True),
    Dialogue(b"1000", N2500),
    Dialogue(b"1000 10", D1750, valgrind=True),
    # Long inputs, read in constant memory and still correctly rounded: short
    # here, 100 MB long in the memory check.
    Dialogue(lambda n: [COST_TIE, (b"0", n), b"1\n10\n"],
             discounted(b"2500.000488", b"750.000122", b"1750.000366")),
    Dialogue(lambda n: [COST_TIE[:-1] + b"4", (b"9", n), b"\n10\n"],
             discounted(b"2500.000244", b"750.000061", b"1750.000244")),
    Dialogue(lambda n: [b"217576", (b"0", n), b"e-%d\n10\n" % (n + 2)],
             discounted(b"5439.399902", b"1631.819946", b"3807.580078")),
    Dialogue(lambda n: [b"0.", (b"0", n), b"1e%d 10" % (n + 1)], cost_only(b"2.500000"),
             valgrind=True),
    Dialogue(lambda n: [b"0.", (b"0", n), b"1e%d\n" % n], cost_only(b"0.250000")),
    Dialogue(lambda n: [b"1e", (b"0", n), b"5 10\n"],
             discounted(b"250000.000000", b"75000.000000", b"175000.000000"), valgrind=True),
    Dialogue(lambda n: [(b" \t\r\v\f\n", n), b"1000\n10\n"], D1750),
]

# The typical trip, 1000 over 10 days, and one of 7 days, which is not
# discounted: what the checks of other things than the digits type.
TRIP, UNDISCOUNTED_TRIP = DIALOGUES[0], DIALOGUES[3]

# Long runs in the pipe test: past the 800 digits the reader keeps.
SHORT_RUN = 2000


def typed(dialogue, n=SHORT_RUN):
    """What the dialogue types, as bytes."""
    if isinstance(dialogue.typed, bytes):
        return dialogue.typed
    return b"".join(piece if isinstance(piece, bytes) else (piece[0] * (piece[1] // len(piece[0]) + 1))[:piece[1]]
                    for piece in dialogue.typed(n))


def expected(dialogue):
    return PROMPTS + dialogue.report


def crlf(text):
    """What a terminal shows, and a Windows program writes, for text."""
    return text.replace(b"\n", b"\r\n")


def label(dialogue):
    """A short name: the first characters typed, a long run as {pattern}*n."""
    if isinstance(dialogue.typed, bytes):
        text = dialogue.typed
    else:
        text = b"".join(piece if isinstance(piece, bytes) else b"{%s}*n" % piece[0]
                        for piece in dialogue.typed(0))
    return repr(text if len(text) <= 40 else text[:20] + b"..." + text[-17:])[2:-1]

