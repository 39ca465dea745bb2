// A .umb shortened by another program after it was opened: reading the
// pages it no longer holds ends the reader's process with status 1 and a
// line that says so, not with SIGBUS.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "UmbReader.h"
#include "UmbWriter.h"

TEST(UmbChangedFile, ShortenedWhileMappedEndsWithStatusOneAndSaysSo) {
  std::string dir = (std::filesystem::temp_directory_path() / "umb-changed-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string path = dir + "/chain.umb", errPath = dir + "/stderr";
  // A cycle of 4,000 states: its exit rates span several pages.
  constexpr int kStates = 4000;
  umb::UmbWriter::Description d;
  d.modelName = "cycle";
  auto w = umb::UmbWriter::create(dir + "/", "chain.umb", d);
  ASSERT_TRUE(w.ok()) << w.error().message;
  for (int s = 0; s < kStates; s++) {
    const std::int16_t none = 0;
    (*w)->beginState(&none, 1.0);
    (*w)->addBranch(static_cast<std::uint64_t>((s + 1) % kStates), 1.0, nullptr);
    (*w)->endState();
  }
  ASSERT_TRUE((*w)->finish(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)).ok());
  auto umb = umb::UmbReader::open(path);
  ASSERT_TRUE(umb.ok()) << umb.error().message;
  ASSERT_EQ(truncate(path.c_str(), 512), 0);

  const pid_t child = fork();
  if (child == 0) {
    const int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(e, 2);
    umb::UmbReader::endOnShortenedFile("reader", path);
    double sum = 0;
    for (double r : (*umb)->exitRate) sum += r;
    _exit(sum == kStates ? 0 : 2);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::ifstream in(errPath);
  std::stringstream err;
  err << in.rdbuf();
  EXPECT_EQ(err.str(), "reader: " + path +
                           ": the file changed while it was read (another program shortened it); no value is given\n");
  std::filesystem::remove_all(dir);
}
