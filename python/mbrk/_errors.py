"""The exception of the mbrk package for input that breaks the dataset format."""

import os
from typing import Union


class FormatError(ValueError):
    """A dataset file that breaks the format.

    ``message`` is the toolkit's own text (for instance ``"integer-expected"``).
    ``line`` and ``column`` (from 1) and ``offset`` (bytes from the start of the
    file) give the point just past the last token read before reading stopped.
    ``path`` is the path as it was given. Printed as ``path:line:column: message``.
    """

    def __init__(self, message: str, path: Union[str, bytes], line: int, column: int,
                 offset: int) -> None:
        super().__init__(message, path, line, column, offset)
        self.message = message
        self.path = path
        self.line = line
        self.column = column
        self.offset = offset

    def __str__(self) -> str:
        return f"{os.fsdecode(self.path)}:{self.line}:{self.column}: {self.message}"
