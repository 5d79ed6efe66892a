# End-to-end tests of the 64-bit program under wine64.
