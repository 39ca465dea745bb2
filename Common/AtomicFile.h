#ifndef COMMON_ATOMIC_FILE_H
#define COMMON_ATOMIC_FILE_H

#include <optional>
#include <string>

// Result files that readers see whole or not at all, shared by the programs
// that write tables and plots (solve, simulate). Each operation returns the
// message of what went wrong, or nothing when it worked.
namespace atomic_file {

// Installs handlers for SIGINT, SIGTERM and SIGHUP (unless the caller left
// them ignored) that remove the temporary being written, stop a running
// gnuplot and end the process with the same signal.
void removeTemporariesOnSignals();

// Writes `content` to `target` through a fresh temporary in the same folder
// (".<program>-<random><suffix>.tmp", created exclusively, never through a
// link), synced, then renamed over the target.
std::optional<std::string> writeFileAtomically(const std::string& target, const std::string& content,
                                               const std::string& program, const std::string& suffix);

// Feeds `script` to gnuplot, whose standard output is the descriptor of an
// exclusively created temporary beside `target` (it never opens a file by
// name), and renames that into place. `variable` names the plot in messages.
std::optional<std::string> plotWithGnuplot(const std::string& script, const std::string& target,
                                           const std::string& program, const std::string& suffix,
                                           const std::string& variable);

}  // namespace atomic_file

#endif
