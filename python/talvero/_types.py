"""Plain types the compiled core hands out."""

from typing import NamedTuple, Optional

import numpy as np


class _Points(NamedTuple):
    x: np.ndarray
    y: np.ndarray


class Series(_Points):
    """The points one out gate recorded: x and y as numpy float64 arrays of equal length.

    It unpacks as (x, y). kind says what the points are:

    - "time": a time course. x is model time in seconds, y the recorded value. A constant stretch
      is kept as its first point and a last point that follows the clock, so a value holds from its
      point until the next one. For a pulse watch, y is the pulse output (0 between pulses).
    - "histogram": a frequency histogram. x holds the bins' left edges in Hz (each bin spans one
      FrequencyStep from there); y the fraction of all counted inter-pulse intervals whose
      instantaneous frequency (1 / interval) fell in the bin, so y sums to 1 once any interval was
      counted and is all 0 before.

    Arrays handed out by Model.run() are read-only views shared with later results; copy one
    (np.array(s.x)) to change it.
    """

    kind = "time"  # for instances made by the tuple's own helpers (_make, _replace)

    def __new__(cls, x, y, kind: str = "time"):
        if kind not in ("time", "histogram"):
            raise ValueError(f"kind is 'time' or 'histogram', not {kind!r}")
        self = super().__new__(cls, x, y)
        self.kind = kind
        return self

    def __reduce__(self):
        return (Series, (self.x, self.y, self.kind))

    def __repr__(self):
        return f"Series(x={self.x!r}, y={self.y!r}, kind={self.kind!r})"

    def _time_course(self, what):
        if self.kind != "time":
            raise TypeError(f"{what} needs a time course, not a frequency histogram")

    def onsets(self) -> np.ndarray:
        """Model times, in seconds, at which a pulse starts: where y rises above 0.

        A pulse already on at the first recorded point counts as starting there, since the record
        shows nothing earlier. Raises TypeError for a frequency histogram.
        """
        self._time_course("onsets()")
        on = np.asarray(self.y) > 0
        rising = on.copy()
        rising[1:] &= ~on[:-1]
        return np.asarray(self.x)[rising]

    def rate(self) -> float:
        """Pulses per second over the recorded span (len(onsets()) / (x[-1] - x[0])).

        nan when the record spans no time (fewer than two points). Raises TypeError for a frequency
        histogram.
        """
        self._time_course("rate()")
        if len(self.x) < 2 or not self.x[-1] > self.x[0]:
            return float("nan")
        return len(self.onsets()) / float(self.x[-1] - self.x[0])

    def to_pandas(self, name: Optional[str] = None):
        """A pandas.Series of y indexed by x: index "time, s" for a time course, "frequency, Hz"
        (bin left edges) for a histogram. Needs pandas (Debian: python3-pandas)."""
        try:
            import pandas
        except ImportError as error:
            raise ImportError("to_pandas() needs pandas (Debian package python3-pandas)") from error
        index = pandas.Index(self.x, name="time, s" if self.kind == "time" else "frequency, Hz")
        return pandas.Series(self.y, index=index, name=name)


class ModelError(Exception):
    """A model, file or parameter error.

    code, level and message are those of the kernel's error table (code is None for failures
    outside it, such as an unreadable project file); info names what failed (an object, a
    parameter or a file); location is where in the description, when known, as
    "FILE:LINE:COLUMN: WORD" followed by the includes that led there.
    """

    def __init__(self, code: Optional[int], level: str, message: str, info: str = "", location=None):
        super().__init__(code, level, message, info, location)
        self.code = code
        self.level = level
        self.message = message
        self.info = info
        self.location = location

    def __str__(self):
        head = self.message if self.code is None else f"Ошибка {self.code} {self.level}: {self.message}"
        text = f"{head} [ {self.info} ]" if self.info else head
        # Where it arose belongs in the text an uncaught error prints.
        return f"{text}\n{self.location}" if self.location else text
