// Minimal stand-in for `/usr/bin/time -v` used by run_experiments.sh when that
// tool is missing: runs a command and reports, on standard error, the lines
// the script reads (wall clock, user and system time, peak resident memory).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: rusage_wrapper command [args...]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    return 2;
  }
  if (pid == 0) {
    execvp(argv[1], argv + 1);
    std::perror("execvp");
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) < 0) {
    std::perror("wait4");
    return 2;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "\tUser time (seconds): %.2f\n", usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6);
  std::fprintf(stderr, "\tSystem time (seconds): %.2f\n", usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6);
  std::fprintf(stderr, "\tElapsed (wall clock) seconds: %.3f\n", wall);
  std::fprintf(stderr, "\tMaximum resident set size (kbytes): %ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
