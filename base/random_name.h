// Names for what the run makes for itself where another account could have made something of
// the same name first (the batch's folder, the folder of files waiting for the restart).
#pragma once

// Appends "tw" and 16 hexadecimal digits to the path in a PATH_SIZE buffer; 0 when there is no
// room. The digits come from the system's random source (Windows XP on), so that no other
// account can foresee them; before it, from the clock and the try's number, a name another
// account could make first: the caller never uses a name that exists already.
int AppendRandomName(char* path, int tries);
