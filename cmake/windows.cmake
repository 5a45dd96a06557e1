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

# The programs go to the top of the install folder: the settings file and the
# Log folder belong beside them.
set(CMAKE_INSTALL_BINDIR .)

# Windows 7 and later; the wide-character API unless a call names its A form.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE
                        _UNICODE)

enable_language(RC)

# 32-bit: doubles in SSE2 registers, as on 64-bit. The x87 unit keeps products
# in 80 bits, so 60.123 s * 1000 truncates to 60122 ms there and to 60123 ms
# everywhere else. SSE2 came with the Pentium 4 and the Athlon 64, and
# Windows 8 and later require it.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-msse2;-mfpmath=sse>")
endif()

# Gives a Windows program its version resource: by default the project's one
# version, or the four numbers given after the description.
function(trivane_version_resource target description)
  set(numbers ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
              ${PROJECT_VERSION_TWEAK})
  if(ARGN)
    set(numbers ${ARGN})
  endif()
  list(GET numbers 0 TRIVANE_RC_MAJOR)
  list(GET numbers 1 TRIVANE_RC_MINOR)
  list(GET numbers 2 TRIVANE_RC_RELEASE)
  list(GET numbers 3 TRIVANE_RC_BUILD)
  set(TRIVANE_RC_NAME ${target})
  set(TRIVANE_RC_FILE ${target}.exe)
  set(TRIVANE_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/data/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
