"""fare with piped input and no controlling terminal: hand-checked quotes and reader cases.

usage: python3 pipe_test.py [EMULATOR...] /path/to/fare
"""
import os
import subprocess
import sys

PROMPTS = b"Ingresa longitud\nIngresa dias de viaje\n"
D1750 = b"el costo es 2500.000000 \nel descuento es de 750.000000 \nel precio total es 1750.000000 "
N2500 = b"el costo es 2500.000000 "
ZERO = b"el costo es 0.000000 "
D2000 = b"el costo es 2000.000000 \nel descuento es de 600.000000 \nel precio total es 1400.000000 "
LENGTH_TIE = b"800.000000000000056843418860808014869689941406250"
DAYS_TIE = b"7.000000000000000444089209850062616169452667236328125"

CASES = [  # (stdin, report)
    (b"1000\n10\n", D1750),
    (b"1000\n8\n", D1750),
    (b"1000\n7.5\n", D1750),
    (b"1000\n7\n", N2500),
    (b"800\n10\n", b"el costo es 2000.000000 "),
    (b"800.1\n8\n", b"el costo es 2000.250000 \nel descuento es de 600.075012 \nel precio total es 1400.175049 "),
    (b"123.456\n3\n", b"el costo es 308.640015 "),
    (b"2175.76\n10\n", b"el costo es 5439.399902 \nel descuento es de 1631.819946 \nel precio total es 3807.580078 "),
    (b"-1000\n10\n", b"el costo es -2500.000000 "),
    (b"0\n0\n", ZERO),
    # the product must be rounded once, straight to single precision
    (b"460.85207519531252\n1\n", b"el costo es 1152.130249 "),
    (b"10507.860546874999\n1\n", b"el costo es 26269.650391 "),
    (b"12943121.199999999\n1\n", b"el costo es 32357802.000000 "),
    (b"10000.003\n3\n", b"el costo es 25000.007812 "),
    # thresholds are strict and compared in double
    (b"800.0000000000001\n10\n", D2000),
    (b"1000\n7.000000000000001\n", D1750),
    (b"1000\n7.0000000000000001\n", N2500),
    # reader: no hex, no inf/nan words, a comma ends the number
    (b"0x3E8\n10\n", ZERO),
    (b"1000\n0x10\n", N2500),
    (b"inf\n10\n", ZERO),
    (b"nan\n10\n", ZERO),
    (b"1000\ninf\n", N2500),
    (b"1000 infinity\n", N2500),
    (b"1000\nnan\n", N2500),
    (b"1000,5\n10\n", N2500),
    # exponents, signs, points
    (b"1000 1e1\n", D1750),
    (b"1E3 +8", D1750),
    (b"1e3\n7e0\n", N2500),
    (b"1000 8e\n", N2500),
    (b"1000 8e+x\n", N2500),
    (b"1000 +\n", N2500),
    (b"1e\n10\n", ZERO),
    (b"- 1000 10\n", ZERO),
    (b"+1000\n+10\n", D1750),
    (b"1000.\n8.\n", D1750),
    (b".5e4 .8e1", b"el costo es 12500.000000 \nel descuento es de 3750.000000 \nel precio total es 8750.000000 "),
    (b"-0\n0\n", b"el costo es -0.000000 "),
    (b"-1e-45\n3\n", b"el costo es -0.000000 "),
    # range: overflow to infinity, underflow to zero
    (b"1e400\n10\n", b"el costo es inf \nel descuento es de inf \nel precio total es -nan "),
    (b"-1e400\n10\n", b"el costo es -inf "),
    (b"1.4e38\n3\n", b"el costo es inf "),
    (b"1.36e38 10", b"el costo es 339999995214436424907732413799364296704.000000 \n"
                    b"el descuento es de 101999994507849006741985639350359031808.000000 \n"
                    b"el precio total es 238000000706587418165746774449005264896.000000 "),
    (b"1e-400\n10\n", ZERO),
    (b"-1e-400\n10\n", b"el costo es -0.000000 "),
    # correct rounding of long numbers, seen in whether the discount applies:
    # the midpoints between 800 and 7 and the doubles above them tie to even
    (LENGTH_TIE + b"\n8\n", b"el costo es 2000.000000 "),
    (LENGTH_TIE + b"0" * 900 + b"1\n8\n", D2000),
    (LENGTH_TIE[:-2] + b"4" + b"9" * 900 + b"\n8\n", b"el costo es 2000.000000 "),
    (b"1000\n" + DAYS_TIE + b"\n", N2500),
    (b"1000\n" + DAYS_TIE + b"0" * 3000 + b"1\n", D1750),
    # white space, Windows line ends, missing input, both numbers on one line
    (b"123.456\r\n3\r\n", b"el costo es 308.640015 "),
    (b" \t\n\r\v\f1000 \n\n\t 10", D1750),
    (b"", ZERO),
    (b"1000", N2500),
    (b"1000 10", D1750),
]


def run(argv, stdin, stdout=subprocess.PIPE):
    return subprocess.run(argv, input=stdin, stdout=stdout, stderr=subprocess.PIPE,
                          timeout=10, start_new_session=True)


def one_line(err):
    return len(err) > 1 and err.endswith(b"\n") and err.count(b"\n") == 1


def main():
    exe = sys.argv[1:]  # the program, after the emulator that starts it, if any
    checks = []  # (name, ok, detail)
    for stdin, report in CASES:
        r = run(exe, stdin)
        want = PROMPTS + report
        checks.append(("stdin=%r" % stdin, r.stdout == want and r.returncode == 0 and r.stderr == b"",
                       "status %s stderr %r\n  want %r\n  got  %r" % (r.returncode, r.stderr, want, r.stdout)))
    r = run(exe + ["--help", "-x", "5", "3"], b"1000\n10\n")
    checks.append(("arguments ignored", (r.returncode, r.stdout) == (0, PROMPTS + D1750), r))
    # an unwritable report: status 1 and a one-line complaint
    with open("/dev/full", "wb") as full:
        r = run(exe, b"1000\n10\n", stdout=full)
    checks.append(("stdout /dev/full", r.returncode == 1 and one_line(r.stderr), r))
    r = run(["sh", "-c", 'exec "$@" >&-', "sh"] + exe, b"1000\n7\n")
    checks.append(("stdout closed", r.returncode == 1 and one_line(r.stderr), r))
    reader, writer = os.pipe()
    os.close(reader)  # a reader that went away: the report is lost, not the status
    r = run(exe, b"1000\n10\n", stdout=writer)
    os.close(writer)
    checks.append(("stdout a pipe with no reader", r.returncode == 1 and one_line(r.stderr), r))
    failed = [c for c in checks if not c[1]]
    for name, _, detail in failed:
        print("FAIL %s %s" % (name, detail))
    print("%d passed, %d failed" % (len(checks) - len(failed), len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
