#ifndef COMMON_TEXT_TABLE_H
#define COMMON_TEXT_TABLE_H

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

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
