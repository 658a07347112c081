// <windows.h> as the Windows host includes it: without the parts it never
// uses, and without the min and max macros, which would stand in for
// std::min and std::max.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
