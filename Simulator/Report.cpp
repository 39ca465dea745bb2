#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "AtomicFile.h"
#include "PlotScript.h"
#include "TextTable.h"

namespace sim {

namespace {

std::string timeText(const Slot& slot) {
  return timeCell(slot.kind == Steady_State, slot.kind == Instant_Of_Time || slot.kind == Reached_By_Time, slot.start,
                  slot.stop);
}

std::string precisionText(const Estimate& e) {
  if (e.capped > 0)
    return "CAPPED: " + std::to_string(e.capped) + " replication(s) hit the cap first; a lower bound only";
  if (e.biased) return "POSSIBLY BIASED: still drifting after the warm-up";
  if (e.same)
    return e.interval.estimate == 0 ? "WIDER: zero in every replication (rare event?)"
                                    : "WIDER: the same in every replication (rare event?)";
  return e.wide ? "WIDER than asked" : "ok";
}

std::string precisionField(const Estimate& e) {
  if (e.capped > 0) return "capped";
  if (e.biased) return "possibly_biased";
  if (e.same) return e.interval.estimate == 0 ? "never_observed" : "same_in_every_replication";
  return e.wide ? "wider" : "ok";
}

std::string intervalText(const Interval& i) {
  char text[80];
  std::snprintf(text, sizeof text, "[%.4g, %.4g]", i.lower, i.upper);
  return text;
}

}  // namespace

std::string formatTable(const RunResult& result, const Options& options) {
  const std::vector<std::string> head = {"variable", "kind",  "time",         "estimate", "half-width",
                                         "interval", "level", "replications", "events",   "precision"};
  std::vector<std::vector<std::string>> cells{head};
  // Splitting names its method; plain runs keep their columns.
  const bool named = options.split || options.sampling;
  if (named) cells[0].push_back("method");
  for (const Estimate& e : result.estimates) {
    cells.push_back({e.variable, kindName(e.slot.kind), timeText(e.slot), numberText("%.10g", e.interval.estimate),
                     numberText("%.3g", e.interval.halfWidth()), intervalText(e.interval),
                     numberText("%g", options.level), std::to_string(e.replications), std::to_string(e.events),
                     precisionText(e)});
    if (named) cells.back().push_back(e.method);
  }
  return alignedTable(cells);
}

std::string formatCsv(const RunResult& result, const Options& options) {
  std::string out =
      "variable,kind,start,stop,estimate,half_width,level,replications,events,precision,lower,upper,interval,"
      "warmup_events";
  out += options.split || options.sampling ? ",method\n" : "\n";
  for (const Estimate& e : result.estimates) {
    const bool steady = e.slot.kind == Steady_State;
    out += csvField(e.variable) + "," + kindName(e.slot.kind) + "," +
           (steady ? "" : numberText("%.17g", e.slot.start)) + "," + (steady ? "" : numberText("%.17g", e.slot.stop)) +
           "," + numberText("%.17g", e.interval.estimate) + "," + numberText("%.17g", e.interval.halfWidth()) + "," +
           numberText("%.17g", options.level) + "," + std::to_string(e.replications) + "," + std::to_string(e.events) +
           "," + precisionField(e) + "," + numberText("%.17g", e.interval.lower) + "," +
           numberText("%.17g", e.interval.upper) + "," + methodName(e.interval.method) + "," +
           (steady ? std::to_string(e.warmup) : "");
    if (options.split || options.sampling) {
      out += ',';
      out += csvField(e.method);
    }
    out += '\n';
  }
  return out;
}

std::optional<std::string> plotVariable(const RunResult& result, const std::string& variable, const std::string& format,
                                        const std::string& target) {
  std::vector<const Estimate*> points;
  for (const Estimate& e : result.estimates)
    if (e.variable == variable) points.push_back(&e);
  std::sort(points.begin(), points.end(),
            [](const Estimate* a, const Estimate* b) { return a->slot.stop < b->slot.stop; });
  std::string script = plotScriptHead(
      format, variable, points.front()->slot.kind == Instant_Of_Time || points.front()->slot.kind == Reached_By_Time);
  script += "set ylabel 'estimate'\nset grid\nunset key\n";
  // Ranges of the data with a margin, so that the bars at the ends are not
  // cut off: time from 0, and a probability's axis within [0, 1].
  double xHigh = 0, yLow = INFINITY, yHigh = -INFINITY;
  bool unit = true;
  for (const Estimate* p : points) {
    xHigh = std::max(xHigh, p->slot.stop);
    yLow = std::min(yLow, p->interval.lower);
    yHigh = std::max(yHigh, p->interval.upper);
    unit = unit && p->unit;
  }
  const double xMargin = xHigh > 0 ? 0.05 * xHigh : 1.0;
  double yMargin = 0.1 * (yHigh - yLow);
  if (!(yMargin > 0)) yMargin = std::max(0.1 * std::fabs(yHigh), 1e-3);
  double bottom = yLow - yMargin, top = yHigh + yMargin;
  if (unit) {
    bottom = std::max(bottom, 0.0);
    top = std::min(top, 1.0);
  }
  if (std::isfinite(bottom) && std::isfinite(top) && bottom < top)
    script += "set yrange [" + numberText("%.17g", bottom) + ":" + numberText("%.17g", top) + "]\n";
  script += "set xrange [0:" + numberText("%.17g", xHigh + xMargin) + "]\n";
  script += "set bars 2\n$values << EOD\n";
  for (const Estimate* p : points)
    script += numberText("%.17g", p->slot.stop) + " " + numberText("%.17g", p->interval.estimate) + " " +
              numberText("%.17g", p->interval.lower) + " " + numberText("%.17g", p->interval.upper) + "\n";
  script +=
      "EOD\nplot $values using 1:2 with lines lc rgb '#1f5fa0', $values using 1:2:3:4 with yerrorbars lc rgb "
      "'#1f5fa0' pt 7 lw 1.5\n";
  return atomic_file::plotWithGnuplot(script, target, "simulate", "." + format, variable);
}

}  // namespace sim
