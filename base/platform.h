// The platform interface: the Win32 API in the Windows builds, the test stand-in on the host.
#pragma once
#include <windows.h>
#include <shlobj.h>
