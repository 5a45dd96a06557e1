#pragma once

// The code page converter of the system the relay is built for, with
// Open(name), kDefaultCodePage and kNamesHint (what names it takes).
#if defined(_WIN32)
#include "platform/windows/win32_text_codec.h"
namespace trivane {
using SystemTextCodec = Win32TextCodec;
}
#else
#include "platform/linux/iconv_text_codec.h"
namespace trivane {
using SystemTextCodec = IconvTextCodec;
}
#endif
