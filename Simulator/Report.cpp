#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "AtomicFile.h"
#include "TextTable.h"

namespace sim {

namespace {

std::string timeText(const Slot& slot) {
  return timeCell(slot.kind == Steady_State, slot.kind == Instant_Of_Time, slot.start, slot.stop);
}

std::string precisionText(const Estimate& e) {
  if (e.same)
    return e.mean == 0 ? "WIDER: zero in every replication (rare event?)"
                       : "WIDER: the same in every replication (rare event?)";
  return e.wide ? "WIDER than asked" : "ok";
}

}  // namespace

std::string formatTable(const RunResult& result, const Options& options) {
  const std::vector<std::string> head = {"variable", "kind",         "time",   "estimate", "half-width",
                                         "level",    "replications", "events", "precision"};
  std::vector<std::vector<std::string>> cells{head};
  // Splitting names its method; plain runs keep their columns.
  if (options.split) cells[0].push_back("method");
  for (const Estimate& e : result.estimates) {
    cells.push_back({e.variable, kindName(e.slot.kind), timeText(e.slot), numberText("%.10g", e.mean),
                     numberText("%.3g", e.halfWidth), numberText("%g", options.level), std::to_string(e.replications),
                     std::to_string(result.events), precisionText(e)});
    if (options.split) cells.back().push_back(e.method);
  }
  return alignedTable(cells);
}

std::string formatCsv(const RunResult& result, const Options& options) {
  std::string out = "variable,kind,start,stop,estimate,half_width,level,replications,events,precision";
  out += options.split ? ",method\n" : "\n";
  for (const Estimate& e : result.estimates) {
    const bool steady = e.slot.kind == Steady_State;
    out += csvField(e.variable) + "," + kindName(e.slot.kind) + "," +
           (steady ? "" : numberText("%.17g", e.slot.start)) + "," + (steady ? "" : numberText("%.17g", e.slot.stop)) +
           "," + numberText("%.17g", e.mean) + "," + numberText("%.17g", e.halfWidth) + "," +
           numberText("%.17g", options.level) + "," + std::to_string(e.replications) + "," +
           std::to_string(result.events) + "," +
           (e.same   ? (e.mean == 0 ? "never_observed" : "same_in_every_replication")
            : e.wide ? "wider"
                     : "ok");
    if (options.split) {
      out += ',';
      out += csvField(e.method);
    }
    out += '\n';
  }
  return out;
}

std::string fileId(const std::string& variable) {
  std::string id;
  for (char c : variable) {
    const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    id += ((l >= '0' && l <= '9') || (l >= 'a' && l <= 'z') || l == '_' || l == '-') ? l : '_';
  }
  return id;
}

std::optional<std::string> plotVariable(const RunResult& result, const std::string& variable, const std::string& format,
                                        const std::string& target) {
  std::vector<const Estimate*> points;
  for (const Estimate& e : result.estimates)
    if (e.variable == variable) points.push_back(&e);
  std::sort(points.begin(), points.end(),
            [](const Estimate* a, const Estimate* b) { return a->slot.stop < b->slot.stop; });
  auto quoted = [](const std::string& text) {
    std::string out = "'";
    for (char c : text) {
      if (c == '\n' || c == '\r') continue;
      out += c;
      if (c == '\'') out += '\'';
    }
    return out + "'";
  };
  std::string script = format == "png" ? "set terminal pngcairo size 800,500\n" : "set terminal svg size 800,500\n";
  script += "set output\n";
  script += "set title " + quoted(variable) + " noenhanced\n";
  script += points.front()->slot.kind == Instant_Of_Time ? "set xlabel 'time'\n" : "set xlabel 'interval end'\n";
  // Room around the points, so that the bars at the ends are not cut off.
  script += "set ylabel 'estimate'\nset grid\nunset key\nset offsets graph 0.05, graph 0.05, graph 0.1, graph 0.1\n";
  script += "set bars 2\n$values << EOD\n";
  for (const Estimate* p : points)
    script += numberText("%.17g", p->slot.stop) + " " + numberText("%.17g", p->mean) + " " +
              numberText("%.17g", p->halfWidth) + "\n";
  script +=
      "EOD\nplot $values using 1:2 with lines lc rgb '#1f5fa0', $values using 1:2:3 with yerrorbars lc rgb '#1f5fa0' "
      "pt 7 lw 1.5\n";
  return atomic_file::plotWithGnuplot(script, target, "simulate", "." + format, variable);
}

}  // namespace sim
