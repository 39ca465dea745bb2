#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "AtomicFile.h"
#include "TextTable.h"

namespace solver {

namespace {

std::string timeText(const ResultRow& row) {
  return timeCell(row.kind == RewardKind::SteadyState, row.kind == RewardKind::Instant, row.start, row.stop);
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
    cells.push_back({r.variable, kindName(r.kind), timeText(r), numberText("%.12g", r.value), r.method,
                     std::to_string(r.iterations), numberText("%.2g", r.errorBound)});
  }
  return alignedTable(cells);
}

std::string formatCsv(const std::vector<ResultRow>& rows) {
  std::string out = "variable,kind,start,stop,value,method,iterations,error_bound\n";
  for (const ResultRow& r : rows) {
    const bool steady = r.kind == RewardKind::SteadyState;
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

std::string fileId(const std::string& variable) {
  std::string id;
  for (char c : variable) {
    const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    id += ((l >= '0' && l <= '9') || (l >= 'a' && l <= 'z') || l == '_' || l == '-') ? l : '_';
  }
  return id;
}

Status plotVariable(const std::vector<ResultRow>& rows, const std::string& variable, const std::string& format,
                    const std::string& target) {
  std::vector<const ResultRow*> points;
  for (const ResultRow& r : rows)
    if (r.variable == variable && r.leftForSimulator.empty()) points.push_back(&r);
  if (points.empty()) return Error{"-p " + variable + ": solve has no value of it to plot (left for the simulator)"};
  std::sort(points.begin(), points.end(), [](const ResultRow* a, const ResultRow* b) { return a->stop < b->stop; });
  // gnuplot reads single-quoted strings literally, with '' for a quote.
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
  // No file name: the plot goes to gnuplot's standard output, the temporary.
  script += "set output\n";
  script += "set title " + quoted(variable) + " noenhanced\n";
  script += points.front()->kind == RewardKind::Instant ? "set xlabel 'time'\n" : "set xlabel 'interval end'\n";
  script += "set ylabel 'value'\nset grid\nunset key\n$values << EOD\n";
  for (const ResultRow* p : points) script += numberText("%.17g", p->stop) + " " + numberText("%.17g", p->value) + "\n";
  script += "EOD\nplot $values using 1:2 with linespoints\n";

  return asStatus(atomic_file::plotWithGnuplot(script, target, "solve", "." + format, variable));
}

}  // namespace solver
