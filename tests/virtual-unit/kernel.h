// The DDK's wdm.h for kernel-mode C++. MinGW-w64's wdm.h defines two interlocked bit operations
// of its own that C++ takes for redeclarations of the compiler's intrinsics: the intrinsics are
// declared first and wdm.h's copies renamed out of the way (nothing here uses them).
#pragma once

#include <intrin.h>

#define InterlockedBitTestAndSet vuWdmInterlockedBitTestAndSet
#define InterlockedBitTestAndReset vuWdmInterlockedBitTestAndReset
#include <ddk/wdm.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset
