#ifndef EXPECT_GEN_ERROR_H
#define EXPECT_GEN_ERROR_H

#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "GenError.h"

// Runs `fn`, which must end the run with a GenError, and checks the text main
// would print, the stream it would print it on and the exit status.
template <class F>
void expectGenError(F&& fn, const std::string& message, GenError::Stream stream = GenError::Stream::Err,
                    int status = 1) {
  try {
    fn();
  } catch (const GenError& error) {
    EXPECT_EQ(error.what(), message);
    EXPECT_EQ(error.stream() == GenError::Stream::Out ? "stdout" : "stderr",
              std::string(stream == GenError::Stream::Out ? "stdout" : "stderr"));
    EXPECT_EQ(error.status(), status);
    return;
  } catch (const std::exception& other) {
    ADD_FAILURE() << "expected a GenError, got: " << other.what();
    return;
  }
  ADD_FAILURE() << "expected a GenError, nothing was thrown";
}

#endif
