"""The package's version; the same as the CMake project's."""

__version__ = "0.1.0"
