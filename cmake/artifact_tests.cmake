# Checks on the built Windows programs: imports, marker, size, resources.
