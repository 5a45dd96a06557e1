# Debian packages by purpose; sourced by the build scripts.
# shellcheck disable=SC2034
BUILD_PACKAGES=(g++ make cmake)
TEST_PACKAGES=(libgtest-dev libgmock-dev)
