#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "AtomicFile.h"
#include "PlotScript.h"
#include "TextTable.h"

namespace solver {

namespace {

std::string timeText(const ResultRow& row) {
  return timeCell(row.kind == RewardKind::SteadyState || row.kind == RewardKind::FirstPassage,
                  row.kind == RewardKind::Instant || row.kind == RewardKind::Reached, row.start, row.stop);
}

Status asStatus(const std::optional<std::string>& failure) {
  if (failure) return Error{*failure};
  return okStatus();
}

}  // namespace

std::string formatTable(const std::vector<ResultRow>& rows) {
  const std::vector<std::string> head = {"variable", "kind", "time", "value", "method", "iterations", "error bound"};
  std::vector<std::vector<std::string>> cells{head};
  for (const ResultRow& r : rows) {
    if (!r.leftForSimulator.empty()) {
      cells.push_back({r.variable, kindName(r.kind), timeText(r), "-", r.method, "-", "-"});
      continue;
    }
    cells.push_back({r.variable, kindName(r.kind), timeText(r),
                     r.infinite.empty() ? numberText("%.12g", r.value) : "infinite", r.method,
                     std::to_string(r.iterations), numberText("%.2g", r.errorBound)});
  }
  return alignedTable(cells);
}

std::string formatCsv(const std::vector<ResultRow>& rows) {
  std::string out = "variable,kind,start,stop,value,method,iterations,error_bound\n";
  for (const ResultRow& r : rows) {
    const bool steady = r.kind == RewardKind::SteadyState || r.kind == RewardKind::FirstPassage;
    const bool left = !r.leftForSimulator.empty();
    out += csvField(r.variable) + "," + kindName(r.kind) + "," + (steady ? "" : numberText("%.17g", r.start)) + "," +
           (steady ? "" : numberText("%.17g", r.stop)) + "," + (left ? "" : numberText("%.17g", r.value)) + "," +
           csvField(r.method) + "," + (left ? "" : std::to_string(r.iterations)) + "," +
           (left ? "" : numberText("%.3g", r.errorBound)) + "\n";
  }
  return out;
}

void removeTemporariesOnSignals() { atomic_file::removeTemporariesOnSignals(); }

Status writeFileAtomically(const std::string& target, const std::string& content) {
  return asStatus(atomic_file::writeFileAtomically(target, content, "solve", ".results"));
}

Status plotVariable(const std::vector<ResultRow>& rows, const std::string& variable, const std::string& format,
                    const std::string& target) {
  std::vector<const ResultRow*> points;
  for (const ResultRow& r : rows)
    if (r.variable == variable && r.leftForSimulator.empty()) points.push_back(&r);
  if (points.empty()) return Error{"-p " + variable + ": solve has no value of it to plot (left for the simulator)"};
  std::sort(points.begin(), points.end(), [](const ResultRow* a, const ResultRow* b) { return a->stop < b->stop; });
  std::string script = plotScriptHead(
      format, variable, points.front()->kind == RewardKind::Instant || points.front()->kind == RewardKind::Reached);
  script += "set ylabel 'value'\nset grid\nunset key\n$values << EOD\n";
  for (const ResultRow* p : points) script += numberText("%.17g", p->stop) + " " + numberText("%.17g", p->value) + "\n";
  script += "EOD\nplot $values using 1:2 with linespoints\n";

  return asStatus(atomic_file::plotWithGnuplot(script, target, "solve", "." + format, variable));
}

}  // namespace solver
