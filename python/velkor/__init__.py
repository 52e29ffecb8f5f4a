"""velkor from Python: exact two-port formulas of linear circuits.

    import velkor
    [netlist] = velkor.analyse("examples/sallen_key_lowpass.net", params=["g21"],
                               values="examples/sallen_key_lowpass.values")
    g21 = netlist.parameters["g21"]
    g21.sympy()                 # a SymPy expression in s and the element symbols
    g21.poles()                 # NumPy array of complex poles in rad/s
    g21.response([1e2, 1e3])    # complex values at these frequencies in Hz

The analysis runs in this process (the program's own library, through the
compiled module velkor._velkor), with the interpreter's lock released; Ctrl-C
stops it with KeyboardInterrupt. Every option of the command line can be
given through `options`.
"""

import json
import os
import re
import warnings

from . import _velkor

__all__ = ["analyse", "run", "Netlist", "Parameter", "Term", "VelkorError", "VelkorWarning"]


class VelkorError(Exception):
    """An error of the analysis or of its options, with its place in the input
    (`file`, `line`, `column`; None where the message names none)."""

    def __init__(self, message, file=None, line=None, column=None, status=1, result=None):
        super().__init__(message)
        self.message = message
        self.file = file
        self.line = line
        self.column = column
        self.status = status
        self.result = result  # what was analysed despite the error (a list of Netlist), if anything


class VelkorWarning(UserWarning):
    """A warning of the analysis (`file`, `line`, `column` as for VelkorError)."""

    def __init__(self, message, file=None, line=None, column=None):
        super().__init__(message)
        self.file = file
        self.line = line
        self.column = column


_POSITIONED = re.compile(r"^(?P<file>.*?):(?P<line>\d+):(?P<column>\d+): (?P<kind>error|warning): (?P<text>.*)$")
_PLAIN = re.compile(r"^velkor: (?:(?P<kind>error|warning): )?(?P<text>.*)$")


def _messages(errors):
    """(kind, text, file, line, column) for each message the run wrote."""
    found = []
    for line in errors.splitlines():
        m = _POSITIONED.match(line)
        if m:
            found.append((m["kind"], m["text"], m["file"], int(m["line"]), int(m["column"])))
            continue
        m = _PLAIN.match(line)
        if m:
            found.append((m["kind"] or "error", m["text"], None, None, None))
    return found


def run(netlist, *options, source_name=None):
    """Runs velkor on a netlist text (or a file's path) with command-line
    options, exactly as the program would; returns (status, output, errors)
    as strings, without raising for the run's own errors."""
    text, name = _read(netlist)
    status, output, errors = _velkor.run(text, source_name or name, [str(o) for o in options])
    return status, output.decode("utf-8", "replace"), errors.decode("utf-8", "replace")


def _read(netlist):
    """The netlist's text and the name its messages give it."""
    if isinstance(netlist, os.PathLike) or (isinstance(netlist, str) and "\n" not in netlist
                                            and os.path.isfile(netlist)):
        path = os.fspath(netlist)
        with open(path, "rb") as f:
            return f.read().decode("latin-1"), path
    if isinstance(netlist, bytes):
        return netlist.decode("latin-1"), "<string>"
    return str(netlist), "<string>"


def _value_options(values):
    if values is None:
        return []
    if isinstance(values, (str, os.PathLike)):
        return ["--values=" + os.fspath(values)]
    return ["--set=%s=%s" % (name, _number(value)) for name, value in values.items()]


def _number(value):
    return value if isinstance(value, str) else repr(float(value))


def analyse(netlist, params=None, values=None, ports=None, input=None, options=()):
    """Analyses every netlist in `netlist` (a text, or the path of a file).

    params:  parameter names to keep (["g21", "z11"]); None keeps all printed.
    values:  element values, a dict {name: number or "4.7k"} or a values file's path.
    ports:   for SPICE decks, the port nodes ("in,0,out,0").
    input:   "velkor" or "spice", when the file's name and contents do not tell.
    options: further command-line options ("--path=plain", "--max-seconds=10", ...).

    Returns a list of Netlist. Errors raise VelkorError (with the position of
    the first one); warnings become VelkorWarning Python warnings.
    """
    arguments = ["--format=json"] + _value_options(values)
    if values is not None:
        arguments.append("--eval")
    if ports is not None:
        arguments.append("--ports=" + (ports if isinstance(ports, str) else ",".join(map(str, ports))))
    if input is not None:
        arguments.append("--input=" + input)
    arguments += [str(o) for o in options]
    return _analyse(netlist, arguments, params)


def _analyse(netlist, arguments, params):
    text, name = _read(netlist)
    status, output, errors = _velkor.run(text, name, arguments)
    errors = errors.decode("utf-8", "replace")
    messages = _messages(errors)
    result = None
    if output:
        document = json.loads(output.decode("utf-8", "replace"))
        result = [Netlist(n, text, name, arguments, params) for n in document["netlists"]]
    for kind, message, file, line, column in messages:
        if kind == "warning":
            warnings.warn(VelkorWarning(message, file, line, column), stacklevel=3)
    if status != 0:
        first = next((m for m in messages if m[0] == "error"), None)
        if first is None:
            first = ("error", errors.strip() or "velkor ended with status %d" % status, None, None, None)
        raise VelkorError(first[1], first[2], first[3], first[4], status, result)
    return result


class Term:
    """One term of a polynomial: coefficient * s**power * product of factors."""

    __slots__ = ("coefficient", "power", "factors")

    def __init__(self, coefficient, power, factors):
        self.coefficient = coefficient
        self.power = power
        self.factors = factors  # {symbol name: exponent}, in the printed order

    def __repr__(self):
        return "Term(%r, %d, %r)" % (self.coefficient, self.power, self.factors)

    def __eq__(self, other):
        return isinstance(other, Term) and (self.coefficient, self.power, self.factors) == (
            other.coefficient, other.power, other.factors)


def _terms(polynomial):
    return [Term(t["coefficient"], t["s"], dict(t["factors"])) for t in polynomial]


class Netlist:
    """One analysed netlist: `number`, `input` (the echo), `parameters` (name
    to Parameter, in printed order), `messages`, `symbols`."""

    def __init__(self, document, text, source_name, arguments, params):
        self.number = document["number"]
        self.input = document["input"]
        self.messages = list(document["messages"])
        self.symbols = {s["name"]: s["meaning"] for s in document["symbols"]}
        self.parameters = {}
        for p in document["parameters"]:
            if params is None or p["name"] in params:
                self.parameters[p["name"]] = Parameter(p, self, text, source_name, arguments)

    def __getitem__(self, name):
        return self.parameters[name]

    def __repr__(self):
        return "<velkor.Netlist %d: %s>" % (self.number, ", ".join(self.parameters))


def _latex_name(symbol):
    head, rest = symbol[0], symbol[1:]
    rest = rest.replace("_", r"\_")
    if not rest:
        return head
    return "%s_{%s}" % (head, rest if rest.isdigit() or len(rest) == 1 else r"\mathrm{%s}" % rest)


def _latex_polynomial(terms):
    if not terms:
        return "0"
    out = []
    for t in terms:
        body = " ".join(
            [("s^{%d}" % t.power) if t.power > 1 else "s" for _ in [0] if t.power > 0] +
            [_latex_name(n) + ("^{%d}" % e if e > 1 else "") for n, e in t.factors.items()])
        c = t.coefficient
        magnitude = "" if abs(c) == 1 and body else str(abs(c))
        sign = "-" if c < 0 else "+"
        out.append("%s %s%s%s" % (sign, magnitude, r"\," if magnitude and body else "", body))
    text = " ".join(out)
    return text[2:] if text.startswith("+ ") else text


class Parameter:
    """One requested parameter: `name`, `heading`, `outcome` ("done",
    "skipped", "failed"), `numerator` and `denominator` (lists of Term), and
    with values `numeric` (the program's numbers: coefficients, roots, dc)
    and `approximation` (with approximate())."""

    def __init__(self, document, netlist, text, source_name, arguments):
        self.name = document["name"]
        self.heading = document["heading"]
        self.outcome = document["outcome"]
        self.error = document.get("error")
        self.numerator = _terms(document.get("numerator", []))
        self.denominator = _terms(document.get("denominator", []))
        self.numeric = document.get("numeric")
        self.approximation = document.get("approximation")
        self._netlist = netlist
        self._text = text
        self._source_name = source_name
        self._arguments = arguments

    def __repr__(self):
        return "<velkor.Parameter %s: %d/%d terms>" % (self.name, len(self.numerator), len(self.denominator))

    # The formula as SymPy sees it.
    def sympy(self):
        import sympy
        s = sympy.Symbol("s")
        symbols = {}

        def polynomial(terms):
            return sympy.Add(*[t.coefficient * s**t.power * sympy.Mul(
                *[symbols.setdefault(n, sympy.Symbol(n)) ** e for n, e in t.factors.items()]) for t in terms])

        return polynomial(self.numerator) / polynomial(self.denominator)

    def _repr_latex_(self):
        letter = self.name[0]
        sub = self.name[1:] or ""
        name = "%s_{%s}" % (letter, sub) if sub else letter
        return r"$\displaystyle %s = \frac{%s}{%s}$" % (name, _latex_polynomial(self.numerator),
                                                        _latex_polynomial(self.denominator))

    # Numbers.
    def at(self, values):
        """The same parameter analysed again at other element values (a dict
        or a values file); its numbers are in .numeric, .poles(), .response()."""
        kept = [a for a in self._arguments if not a.startswith(("--values=", "--set="))]
        if "--eval" not in kept:
            kept.append("--eval")
        return self._again(_value_options(values) + kept)

    def approximate(self, eps, band=None):
        """The approximation within a relative error eps over the band
        (f1, f2) in Hz (default: as the program chooses); needs values. The
        returned Parameter holds the kept terms; its .approximation the
        program's account (error, band, kept and total terms). It is made
        from this parameter's exact formula (the program's --formulas=exact)."""
        extra = ["--formulas=exact", "--approx=%r" % float(eps)]
        if band is not None:
            extra += ["--from=%r" % float(band[0]), "--to=%r" % float(band[1])]
        again = self._again([a for a in self._arguments if not a.startswith(("--approx=", "--from=", "--to=", "--formulas="))]
                            + extra)
        account = again.approximation
        if account is None or "numerator" not in account:
            raise VelkorError("no approximation: %s" % (account or {}).get("outcome", "no values"))
        approximated = again
        approximated.numerator = _terms(account["numerator"])
        approximated.denominator = _terms(account["denominator"])
        return approximated

    def _again(self, arguments):
        netlists = _analyse(self._text if self._source_name == "<string>" else self._source_name,
                            arguments, [self.name])
        return netlists[self._netlist.number - 1].parameters[self.name]

    def _numbers(self):
        if self.numeric is None:
            raise VelkorError("%s has no numbers: give element values (analyse(..., values=...) or .at())" % self.name)
        if self.numeric["missing"]:
            raise VelkorError("%s: no value for %s" % (self.name, " ".join(self.numeric["missing"])))
        return self.numeric

    def poles(self):
        """The poles in rad/s (NumPy complex array), as the program reports them."""
        import numpy
        return numpy.array([complex(re, im) for re, im in self._numbers()["poles"]], dtype=complex)

    def zeros(self):
        """The zeros in rad/s (NumPy complex array)."""
        import numpy
        return numpy.array([complex(re, im) for re, im in self._numbers()["zeros"]], dtype=complex)

    def response(self, frequencies):
        """The parameter's value at s = j 2 pi f for each frequency f in Hz
        (a NumPy complex array)."""
        import numpy
        numbers = self._numbers()
        f = numpy.asarray(frequencies, dtype=float)
        s = 2j * numpy.pi * f
        # Both coefficient arrays start at the same power of s, which cancels.
        numerator = numpy.polyval(numpy.array(numbers["numerator"][::-1], dtype=float), s)
        denominator = numpy.polyval(numpy.array(numbers["denominator"][::-1], dtype=float), s)
        return numerator / denominator
