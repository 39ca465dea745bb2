#ifndef SIMULATOR_REPORT_H
#define SIMULATOR_REPORT_H

#include <optional>
#include <string>

#include "Run.h"

namespace sim {

// The estimates as a table for the console and as CSV: variable, kind,
// time or interval, estimate, half-width, the interval, level,
// replications, events, and whether the interval is as narrow as asked (or
// possibly biased); the CSV adds how the interval was found and the
// long-run warm-up.
std::string formatTable(const RunResult& result, const Options& options);
std::string formatCsv(const RunResult& result, const Options& options);

// The variable's estimates over its time points (interval ends for the
// interval kinds) with their intervals as error bars, drawn by gnuplot into
// `target`; the message of what went wrong, or nothing.
std::optional<std::string> plotVariable(const RunResult& result, const std::string& variable, const std::string& format,
                                        const std::string& target);

}  // namespace sim

#endif
