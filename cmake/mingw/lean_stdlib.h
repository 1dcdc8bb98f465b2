// Included ahead of every launcher source in the mingw-w64 build. The C++ runtime declares its
// std::string instantiations extern, so programs use the copies inside the runtime library, which
// were built with exceptions: their clean-up paths bring in the whole exception machinery. With the
// declarations off, the launcher instantiates what it uses itself, built like the rest of it.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
