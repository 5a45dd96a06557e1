#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/journal_stream.h"

namespace trivane {
namespace {

std::string Identity(std::FILE* stream) {
  struct stat status {};
  fstat(fileno(stream), &status);
  return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
}

TEST(JournalStream, OnlyTheStreamTheManagerNamesIsTheJournal) {
  std::FILE* journal = std::tmpfile();
  std::FILE* other = std::tmpfile();
  ASSERT_NE(journal, nullptr);
  ASSERT_NE(other, nullptr);

  unsetenv("JOURNAL_STREAM");
  EXPECT_FALSE(StreamIsJournal(journal));
  setenv("JOURNAL_STREAM", Identity(journal).c_str(), 1);
  EXPECT_TRUE(StreamIsJournal(journal));
  EXPECT_FALSE(StreamIsJournal(other)) << "inherited by a program whose output goes elsewhere";
  setenv("JOURNAL_STREAM", "journal", 1);
  EXPECT_FALSE(StreamIsJournal(journal));

  unsetenv("JOURNAL_STREAM");
  std::fclose(journal);
  std::fclose(other);
}

}  // namespace
}  // namespace trivane
