# Debian packages by purpose; sourced by the build scripts.
# shellcheck disable=SC2034
BUILD_PACKAGES=(g++ make cmake pkg-config libasio-dev libsystemd-dev prometheus-cpp-dev qt6-base-dev)
# The window's end-to-end test drives it on a virtual X display.
# The status page is tested in a headless browser, driven over WebDriver.
TEST_PACKAGES=(libgtest-dev libgmock-dev xvfb xauth xdotool xclip imagemagick chromium
               chromium-driver)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
BENCH_PACKAGES=(libbenchmark-dev socat)
TIDY_PACKAGES=(clang clang-tidy)
# scripts/package.sh: the .deb (dpkg-shlibdeps, file), its checks (lintian,
# the manual pages' groff and man, systemd-analyze) and the user it creates.
PACKAGE_PACKAGES=(dpkg-dev file lintian groff-base man-db systemd adduser)
# scripts/test-windows.sh: the cross compilers (POSIX threads), GoogleTest's
# sources, Wine to run the tests, NSIS for the installer, and arch-test to
# learn whether the kernel runs the 32-bit programs' Wine at all.
WINDOWS_PACKAGES=(make cmake libasio-dev googletest g++-mingw-w64-x86-64-posix
                  g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
                  wine wine64 nsis arch-test)
# scripts/service-check.sh: a clean Debian 12 booted with systemd in a container.
SERVICE_CHECK_PACKAGES=(debootstrap systemd-container)
# scripts/wine32-chroot.sh: inside its i386 chroot, Wine's 32-bit half and CTest.
WINE32_CHROOT_PACKAGES=(wine wine32 cmake)
