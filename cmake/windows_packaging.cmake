# The Windows packages of the two programs and the README: a zip to unpack
# anywhere, and an installer (`cpack -G "ZIP;NSIS"`; scripts/package-windows.sh).
# The relay keeps its settings file and its Log folder beside itself, so the
# installer installs for the current user, into a folder the user may write
# to, and asks for no administrator rights.

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

set(CPACK_PACKAGE_NAME trivane)
set(CPACK_PACKAGE_VENDOR "Veltora")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Relays commercial-break commands beside radio playout software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Veltora Trivane")
set(CPACK_PACKAGE_FILE_NAME "trivane-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_STRIP_FILES TRUE)

set(CPACK_NSIS_PACKAGE_NAME "Veltora Trivane")
set(CPACK_NSIS_DISPLAY_NAME "Veltora Trivane")
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\\\Programs")
# The installer's script is ours (packaging/windows/NSIS.template.in): CPack's
# installs for all users whenever the user is an administrator. It runs an
# earlier install's uninstaller first; the key has no version in it, so that
# an upgrade finds the install before it.
set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging/windows)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Veltora Trivane")
# The installer is as wide as the programs it holds: a 64-bit one (Debian's
# NSIS has the amd64-unicode stubs) for the 64-bit programs.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CPACK_TRIVANE_NSIS_TARGET amd64-unicode)
else()
  set(CPACK_TRIVANE_NSIS_TARGET x86-unicode)
endif()
# The window has a Start-menu entry; the simulator is a console tool. (The
# menu links name the program where it lies, at the top of the folder;
# CPACK_PACKAGE_EXECUTABLES would look for it in bin\.)
set(CPACK_NSIS_MENU_LINKS trivane.exe "Veltora Trivane")
set(CPACK_NSIS_INSTALLED_ICON_NAME trivane.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/data/trivane.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/data/trivane.ico)
include(CPack)
