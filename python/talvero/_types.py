"""Plain types the compiled core hands out."""

from typing import NamedTuple, Optional

import numpy as np


class Series(NamedTuple):
    """The points one out gate recorded: x and y as numpy float64 arrays of equal length."""

    x: np.ndarray
    y: np.ndarray


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
