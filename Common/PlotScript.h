#ifndef PLOT_SCRIPT_H
#define PLOT_SCRIPT_H

#include <string>

// What the plots of solve and simulate share: a variable's part of its plot
// file's name, and the head of the gnuplot script that draws it.

// The variable's name in lower case with every character other than a
// letter, a digit, '_' and '-' made '_', so that any name gives a file name.
inline std::string plotFileId(const std::string& variable) {
  std::string id;
  for (char c : variable) {
    const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    id += ((l >= '0' && l <= '9') || (l >= 'a' && l <= 'z') || l == '_' || l == '-') ? l : '_';
  }
  return id;
}

// gnuplot reads single-quoted strings literally, with '' for a quote; line
// breaks would end the command.
inline std::string gnuplotQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\n' || c == '\r') continue;
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

// The terminal for `format` (png, else svg), the plot to gnuplot's standard
// output (the caller's temporary), the variable as the title and the x axis
// of its time points (`instants`) or interval ends.
inline std::string plotScriptHead(const std::string& format, const std::string& variable, bool instants) {
  std::string script = format == "png" ? "set terminal pngcairo size 800,500\n" : "set terminal svg size 800,500\n";
  script += "set output\n";
  script += "set title " + gnuplotQuoted(variable) + " noenhanced\n";
  script += instants ? "set xlabel 'time'\n" : "set xlabel 'interval end'\n";
  return script;
}

#endif
