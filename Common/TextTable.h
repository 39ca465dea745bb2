#ifndef COMMON_TEXT_TABLE_H
#define COMMON_TEXT_TABLE_H

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// One number in a printf pattern of a single conversion ("%g", "%.17g").
inline std::string numberText(const char* pattern, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, pattern, value);
  return buf;
}

// The time column of a result table: "-" for the long run, the instant, or
// the interval as [start, stop].
inline std::string timeCell(bool steadyState, bool instant, double start, double stop) {
  if (steadyState) return "-";
  if (instant) return numberText("%g", stop);
  char buf[80];
  std::snprintf(buf, sizeof buf, "[%g, %g]", start, stop);
  return buf;
}

// A CSV field, quoted where it holds a comma, a quote or a line break.
inline std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Rows of cells as a console table: each column as wide as its widest cell,
// two blanks between columns, none after the last.
inline std::string alignedTable(const std::vector<std::vector<std::string>>& cells) {
  std::vector<std::size_t> width;
  for (const auto& line : cells) {
    if (width.size() < line.size()) width.resize(line.size(), 0);
    for (std::size_t c = 0; c < line.size(); c++) width[c] = std::max(width[c], line[c].size());
  }
  std::string out;
  for (const auto& line : cells) {
    for (std::size_t c = 0; c < line.size(); c++) {
      out += line[c];
      if (c + 1 < line.size()) out += std::string(width[c] - line[c].size() + 2, ' ');
    }
    out += '\n';
  }
  return out;
}

#endif
