#ifndef SOLVER_REPORT_H
#define SOLVER_REPORT_H

#include <string>
#include <vector>

#include "Measures.h"
#include "Outcome.h"

namespace solver {

// The results as a table for the console and as CSV.
std::string formatTable(const std::vector<ResultRow>& rows);
std::string formatCsv(const std::vector<ResultRow>& rows);

// Installs handlers for SIGINT, SIGTERM and SIGHUP (unless the caller left
// them ignored) that remove the temporary being written, stop a running
// gnuplot and end the process with the same signal.
void removeTemporariesOnSignals();

// Writes `content` to `target` through a fresh temporary in the same folder
// (created exclusively, never through a link), synced, then renamed over the
// target, so that readers see the old file or the whole new one.
Status writeFileAtomically(const std::string& target, const std::string& content);

// Draws the variable's values over its time points (the interval ends for
// interval kinds) with gnuplot into `target` (format "svg" or "png").
// gnuplot writes to its standard output, which is the descriptor of the
// exclusively created temporary: it never opens a file by name.
Status plotVariable(const std::vector<ResultRow>& rows, const std::string& variable, const std::string& format,
                    const std::string& target);

}  // namespace solver

#endif
