// The Windows headers for Strofix's Win32 sources and tests. Some of the window API's
// names are macros (MessageBox -> MessageBoxA, ...) that would rename the dialog
// framework's methods of the same names; they are removed here, and the code calls the
// ANSI functions by their full names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef MessageBox
#undef LoadString
#undef LoadIcon
#undef SetWindowText
#undef GetWindowText
#undef GetProfileString
#undef WriteProfileString
