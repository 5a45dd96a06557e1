# Debian packages by purpose; sourced by the build scripts.
# shellcheck disable=SC2034
BUILD_PACKAGES=(g++ make cmake libasio-dev)
TEST_PACKAGES=(libgtest-dev libgmock-dev)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
BENCH_PACKAGES=(libbenchmark-dev)
TIDY_PACKAGES=(clang clang-tidy)
