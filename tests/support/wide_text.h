// UTF-16 literals in the contract's code unit: WIDE("photo.jpg") is
// u"photo.jpg" on Linux and L"photo.jpg" on Windows, and WIDE('a') a unit.
#pragma once

#include "platform/wide_string.h"

#ifdef _WIN32
#define WIDE(text) L##text
#else
#define WIDE(text) u##text
#endif
