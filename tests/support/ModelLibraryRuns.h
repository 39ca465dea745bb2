#ifndef MODEL_LIBRARY_RUNS_H
#define MODEL_LIBRARY_RUNS_H

// Runs the gens built from the model files of models/ (one per file, see
// cmake/GenModel.cmake; GEN_MODELS_DIR is the build's models folder) and
// checks their state counts, for model_library_test and its slow companion.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace modellib {

struct ModelRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs models/<stem>'s gen with -N<name> and the further arguments in a fresh
// folder that the caller keeps.
inline ModelRun runModel(const testsupport::TempDir& dir, const std::string& stem, const std::string& name,
                         const std::string& args) {
  const std::string gen = std::string(GEN_MODELS_DIR) + "/" + stem + "/gen";
  const std::string command = "cd '" + dir.path() + "' && '" + gen + "' -P'" + dir.path() + "/' -N" + name + " " +
                              args + " > stdout.txt 2> stderr.txt";
  ModelRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = testsupport::readFile(dir.file("stdout.txt"));
  r.err = testsupport::readFile(dir.file("stderr.txt"));
  return r;
}

// The transitions of an .arm file: its records (state number, a pair of lines
// per successor, "0") follow two header lines and, when present, a line of
// padding blanks.
inline long armTransitions(const std::string& arm) {
  const long lines = static_cast<long>(std::count(arm.begin(), arm.end(), '\n'));
  const std::vector<std::string> head = testsupport::splitLines(arm.substr(0, 200));
  if (head.size() < 3) return -1;
  const long states = std::stol(head[1]);
  const bool padding = head[2].find_first_not_of(' ') == std::string::npos;
  return (lines - 2 - (padding ? 1 : 0) - 2 * states) / 2;
}

struct Counts {
  long states;
  long transitions;  // -1: not checked
};

// Runs experiments first, first + 1, ... of a model and checks their counts.
inline void expectCounts(const std::string& stem, const std::vector<Counts>& counts, int first = 0) {
  for (size_t k = 0; k < counts.size(); k++) {
    const int e = first + static_cast<int>(k);
    testsupport::TempDir dir;
    const ModelRun r = runModel(dir, stem, stem, "-B" + std::to_string(e));
    ASSERT_EQ(r.status, 0) << stem << " experiment " << e << ": " << r.err;
    EXPECT_NE(r.out.find("Generated: " + std::to_string(counts[k].states) + " states\n"), std::string::npos)
        << stem << " experiment " << e << ":\n"
        << r.out;
    EXPECT_TRUE(testsupport::fileExists(dir.file(stem + ".var")));
    EXPECT_TRUE(testsupport::fileExists(dir.file(stem + ".pvtype")));
    ASSERT_TRUE(testsupport::fileExists(dir.file(stem + ".arm")));
    if (counts[k].transitions >= 0) {
      EXPECT_EQ(armTransitions(testsupport::readFile(dir.file(stem + ".arm"))), counts[k].transitions)
          << stem << " experiment " << e;
    }
  }
}

// The same with state counts alone.
inline void expectCounts(const std::string& stem, const std::vector<long>& states, int first = 0) {
  std::vector<Counts> counts;
  for (long s : states) counts.push_back({s, -1});
  expectCounts(stem, counts, first);
}

}  // namespace modellib

#endif
