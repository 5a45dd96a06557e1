# What `cmake --install` puts on a machine beside the two programs, and the
# Debian package of it all (`cpack -G DEB` in a tree configured with
# -DCMAKE_INSTALL_PREFIX=/usr; scripts/package.sh does both and checks the
# result).

include(GNUInstallDirs)

set(trivane_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/trivane)
set(trivane_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(trivane_generated_dir ${PROJECT_BINARY_DIR}/packaging)

# Where systemd looks for units and sysusers.d entries: for a /usr install the
# directories the distribution's systemd names (/lib/systemd/system and
# /usr/lib/sysusers.d on Debian 12), otherwise those below the prefix
# (systemd reads /usr/local/lib/systemd/system too).
set(unit_dir ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
set(sysusers_dir ${CMAKE_INSTALL_PREFIX}/lib/sysusers.d)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(unit_dir /lib/systemd/system)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(TRIVANE_SYSTEMD QUIET systemd)
    if(TRIVANE_SYSTEMD_FOUND)
      pkg_get_variable(named_unit_dir systemd systemdsystemunitdir)
      pkg_get_variable(named_sysusers_dir systemd sysusersdir)
      if(named_unit_dir)
        set(unit_dir ${named_unit_dir})
      endif()
      if(named_sysusers_dir)
        set(sysusers_dir ${named_sysusers_dir})
      endif()
    endif()
  endif()
endif()
set(TRIVANE_SYSTEMD_UNIT_DIR ${unit_dir} CACHE PATH "Where the systemd units are installed")
set(TRIVANE_SYSUSERS_DIR ${sysusers_dir}
    CACHE PATH "Where the sysusers.d entry of the service's user is installed")

# The units name the programs and the settings as a /usr install has them;
# another prefix gets copies that point into it.
function(trivane_copy_for_prefix source destination)
  file(READ ${source} text)
  string(REPLACE "/usr/bin/" "${CMAKE_INSTALL_FULL_BINDIR}/" text "${text}")
  string(REPLACE "/etc/trivane/" "${CMAKE_INSTALL_FULL_SYSCONFDIR}/trivane/" text "${text}")
  set(old "")
  if(EXISTS ${destination})
    file(READ ${destination} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${destination} "${text}")
  endif()
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

# --- manual pages: the version in the header, gzip -9n as Debian wants -----

find_program(TRIVANE_GZIP gzip)
set(manual_outputs "")
foreach(page trivane.1 trivane-sim.1)
  set(source ${PROJECT_SOURCE_DIR}/man/${page})
  set(versioned ${trivane_generated_dir}/man/${page})
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  # Only the header's source field: ".TH NAME 1 date "Veltora Trivane" ..."
  string(REGEX REPLACE "^(\\.TH [^\n]*\"Veltora Trivane)\"" "\\1 ${PROJECT_VERSION}\"" text
                       "${text}")
  file(CONFIGURE OUTPUT ${versioned} CONTENT "${text}" @ONLY)
  if(TRIVANE_GZIP)
    add_custom_command(OUTPUT ${versioned}.gz
                       COMMAND ${TRIVANE_GZIP} -9n -c ${versioned} > ${versioned}.gz
                       DEPENDS ${versioned}
                       COMMENT "Compressing the manual page ${page}")
    list(APPEND manual_outputs ${versioned}.gz)
  else()
    list(APPEND manual_outputs ${versioned})
  endif()
endforeach()
add_custom_target(trivane_manual_pages ALL DEPENDS ${manual_outputs})
install(FILES ${manual_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# --- documents ------------------------------------------------------------

set(TRIVANE_DEB_RELEASE 1)
set(TRIVANE_DEB_VERSION ${PROJECT_VERSION}-${TRIVANE_DEB_RELEASE})
set(TRIVANE_DEB_MAINTAINER "Veltora Trivane developers <trivane@veltora.example>")
# SOURCE_DATE_EPOCH, when set, makes the date (and so the package) reproducible.
string(TIMESTAMP TRIVANE_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${trivane_packaging_dir}/debian/changelog.in ${trivane_generated_dir}/changelog.Debian
               @ONLY)
set(documents ${PROJECT_SOURCE_DIR}/README.md ${trivane_packaging_dir}/debian/copyright)
if(TRIVANE_GZIP)
  add_custom_command(OUTPUT ${trivane_generated_dir}/changelog.Debian.gz
                     COMMAND ${TRIVANE_GZIP} -9n -c ${trivane_generated_dir}/changelog.Debian
                             > ${trivane_generated_dir}/changelog.Debian.gz
                     DEPENDS ${trivane_generated_dir}/changelog.Debian)
  add_custom_target(trivane_changelog ALL DEPENDS ${trivane_generated_dir}/changelog.Debian.gz)
  list(APPEND documents ${trivane_generated_dir}/changelog.Debian.gz)
endif()
install(FILES ${documents} DESTINATION ${trivane_doc_dir})

# --- the service ----------------------------------------------------------

foreach(unit trivane.service trivane@.service)
  trivane_copy_for_prefix(${trivane_packaging_dir}/systemd/${unit}
                          ${trivane_generated_dir}/systemd/${unit})
  install(FILES ${trivane_generated_dir}/systemd/${unit} DESTINATION ${TRIVANE_SYSTEMD_UNIT_DIR})
endforeach()
install(FILES ${trivane_packaging_dir}/trivane.sysusers DESTINATION ${TRIVANE_SYSUSERS_DIR}
        RENAME trivane.conf)
# Readable by all here; the package's postinst gives it to root:trivane 0640.
install(FILES ${trivane_packaging_dir}/trivane.ini
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/trivane)

# --- the Debian package ---------------------------------------------------

# An upgrade keeps an edited settings file: dpkg treats it as a conffile.
file(CONFIGURE OUTPUT ${trivane_generated_dir}/debian/conffiles
     CONTENT "${CMAKE_INSTALL_FULL_SYSCONFDIR}/trivane/trivane.ini\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${trivane_generated_dir}/debian/conffiles ${trivane_packaging_dir}/debian/postinst
    ${trivane_packaging_dir}/debian/prerm ${trivane_packaging_dir}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trivane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Veltora Trivane developers")
set(CPACK_PACKAGE_CONTACT "${TRIVANE_DEB_MAINTAINER}")
# The paths the units and the conffile name are those of this tree's prefix.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "relay for the commercial-break commands of a radio station")
# Lines of at most 80 columns, as dpkg shows them; CPack indents them.
set(CPACK_PACKAGE_DESCRIPTION [[
Veltora Trivane takes region (commercial-break) commands and related data
from the playout studio or from up to four TCP sources and passes each on
exactly once: to the studio, to a chain server other relays connect to, and
to an online server behind a password log-in. Region blocks and data that
could not be understood go to daily log files.

The package runs the relay headless as a systemd service (trivane.service,
and trivane@NAME.service for several relays) under a user of its own, and
holds trivane-sim, which stands in for the relay's peers when commissioning.]])
if(TARGET trivane_gui)
  string(APPEND CPACK_PACKAGE_DESCRIPTION "\nOn a desktop, trivane opens its window.")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TRIVANE_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from the binaries (dpkg-shlibdeps); adduser for the postinst;
# procps for the /bin/kill of the units' reload, which minimal systems lack.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, procps")
set(CPACK_STRIP_FILES TRUE)
# `make package_source`: the source tree without build trees or Git's files.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build[^/]*/" "/\\.cache/")
include(CPack)
