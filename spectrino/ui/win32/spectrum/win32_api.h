// <windows.h> for the Win32 front end. Its TextOut macro would rename the canvas method of the
// same name, so it goes; the code calls the wide functions by their own names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#ifdef TextOut
#undef TextOut
#endif
