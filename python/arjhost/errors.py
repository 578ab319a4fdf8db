"""The package's exceptions, and the one map from the C API's codes to them."""

from __future__ import annotations

__all__ = ["Error", "BadArchive", "BadPassword", "LimitExceeded", "error_for"]


class Error(Exception):
    """Anything the library refused or could not do; ``code`` is the C API's
    error code (negative), ``message`` names the archive, the entry and the
    cause."""

    def __init__(self, message: str, code: int = -15) -> None:
        super().__init__(message)
        self.code = code
        self.message = message


class BadArchive(Error):
    """Not an ARJ archive, or a damaged or incomplete one, or an entry this
    reader does not know (a method, version or file type)."""


class BadPassword(Error):
    """A garbled entry without a password, or with one that does not decode it."""


class LimitExceeded(Error):
    """One of the limits (``max_*``) refused the work."""


# The C API's codes (arjhost.h), which keep their numbers.
NOT_ARCHIVE, DAMAGED, WRONG_PASSWORD, PASSWORD_NEEDED, UNSUPPORTED, MISSING_VOLUME, LIMIT = range(-1, -8, -1)
IO, NOT_FOUND, REFUSED, CANCELLED, ARGUMENT, NO_MEMORY, CHANGED, INTERNAL, IN_USE = range(-8, -17, -1)
PLUGIN = -64

_CLASSES = {
    NOT_ARCHIVE: BadArchive,
    DAMAGED: BadArchive,
    UNSUPPORTED: BadArchive,
    MISSING_VOLUME: BadArchive,
    WRONG_PASSWORD: BadPassword,
    PASSWORD_NEEDED: BadPassword,
    LIMIT: LimitExceeded,
}


def error_for(code: int, message: str) -> Error:
    """The exception for the C API's error ``code``."""
    return _CLASSES.get(code, Error)(message or f"error {code}", code)
