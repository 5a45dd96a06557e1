#include <gtest/gtest.h>

#include "platform/program_version.h"

namespace trivane {
namespace {

TEST(ProgramVersion, TheNumbersComeFromTheProgramsOwnVersionResource) {
  // This program's resource says 9.8.7.6, unlike the project's version.
  EXPECT_EQ(ProgramFileVersion(), (FileVersion{9, 8, 7, 6}));
}

}  // namespace
}  // namespace trivane
