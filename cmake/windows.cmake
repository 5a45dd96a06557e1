# What a Windows build needs besides its toolchain file.

# Asio for the cross compiler: a folder holding only links to Debian's Asio
# headers (they are headers only), so the rest of /usr/include stays out of
# its sight.
set(TRIVANE_ASIO_INCLUDE ${CMAKE_BINARY_DIR}/asio-include)
file(MAKE_DIRECTORY ${TRIVANE_ASIO_INCLUDE})
foreach(entry asio.hpp asio)
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "Asio is missing: install libasio-dev")
  endif()
  file(CREATE_LINK /usr/include/${entry} ${TRIVANE_ASIO_INCLUDE}/${entry} SYMBOLIC)
endforeach()
include_directories(SYSTEM ${TRIVANE_ASIO_INCLUDE})

# Windows 7 and later; the wide-character API unless a call names its A form.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE
                        _UNICODE)
