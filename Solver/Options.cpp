#include "Options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "OptionValue.h"

namespace solver {

const char* const kUsage =
    "usage: solve -P<path> -N<name> [-m auto|gs|sor|power|direct|bicgstab] [-w <omega>] [-e <epsilon>]\n"
    "             [-i <iterations>] [-u <steps>] [-d <states>] [-s|-n] [-V <variable>] [-p <variable>]\n"
    "             [-f svg|png]\n"
    "  reads <path><name>.umb (written by gen -U), computes every reward variable in it\n"
    "  and writes the table to standard output and <path><name>.results.csv\n"
    "  -m  steady-state method: auto (default: gs, and direct or bicgstab where gs stalls\n"
    "      or reaches -i), gs (Gauss-Seidel), sor, power, direct (GTH elimination), bicgstab\n"
    "  -w  SOR relaxation factor, between 0 and 2 (default 1.2)\n"
    "  -e  epsilon: steady-state convergence (largest relative change of a component),\n"
    "      Poisson truncation and steady-state detection (default 1e-12)\n"
    "  -i  iteration limit of the steady-state methods (default 100000)\n"
    "  -u  uniformisation step limit (default 1000000)\n"
    "  -d  most states of a system the direct solver takes (default 10000)\n"
    "  -s  steady-state detection in uniformisation (a heuristic; off by default)\n"
    "  -n  no steady-state detection (the default)\n"
    "  -V  compute only this variable (repeatable; default: every variable)\n"
    "  -p  plot this variable's values over its time points (repeatable)\n"
    "  -f  plot format: svg (default) or png\n";

namespace {

bool toDouble(const std::string& text, double& out) {
  errno = 0;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(out);
}

bool toLong(const std::string& text, long& out) {
  errno = 0;
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && errno == 0;
}

// "auto, gs, ... or bicgstab"
std::string methodList() {
  std::string list;
  for (std::size_t i = 0; i < std::size(kMethods); i++)
    list += (i == 0 ? "" : i + 1 < std::size(kMethods) ? ", " : " or ") + std::string(methodName(kMethods[i]));
  return list;
}

}  // namespace

Outcome<Options> parseOptions(const std::vector<std::string>& args) {
  Options o;
  bool haveP = false, haveN = false;
  for (std::size_t i = 0; i < args.size(); i++) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '-') return Error{"unknown argument: " + a};
    const char flag = a[1];
    if (flag == 'h' && a.size() == 2) {
      o.usage = true;
      continue;
    }
    if ((flag == 'n' || flag == 's') && a.size() == 2) {
      o.transient.detectSteadyState = flag == 's';
      continue;
    }
    if (std::string("PNmweiudVpf").find(flag) == std::string::npos) return Error{"unknown argument: " + a};
    const OptionValue given = optionValue(a.c_str(), i + 1 < args.size() ? args[i + 1].c_str() : nullptr);
    if (!given.text) return Error{std::string("option -") + flag + " needs a value"};
    const std::string v = given.text;
    if (given.nextWord) i++;
    double d = 0;
    long l = 0;
    switch (flag) {
      case 'P':
        o.path = v;
        haveP = true;
        break;
      case 'N':
        o.name = v;
        haveN = true;
        break;
      case 'm': {
        const auto named =
            std::find_if(std::begin(kMethods), std::end(kMethods), [&](Method m) { return v == methodName(m); });
        if (named == std::end(kMethods)) return Error{"-m takes " + methodList() + ", not " + v};
        o.steady.method = *named;
        break;
      }
      case 'w':
        if (!toDouble(v, d) || !(d > 0 && d < 2))
          return Error{"-w takes a relaxation factor between 0 and 2, not " + v};
        o.steady.omega = d;
        break;
      case 'e':
        if (!toDouble(v, d) || !(d > 0 && d < 1)) return Error{"-e takes an epsilon between 0 and 1, not " + v};
        o.steady.epsilon = o.transient.epsilon = d;
        break;
      case 'i':
        if (!toLong(v, l) || l < 1) return Error{"-i takes an iteration limit of 1 or more, not " + v};
        o.steady.maxIterations = l;
        break;
      case 'u':
        if (!toLong(v, l) || l < 1) return Error{"-u takes a step limit of 1 or more, not " + v};
        o.transient.maxSteps = l;
        break;
      case 'd':
        if (!toLong(v, l) || l < 1 || l > 0x7FFFFFFF) return Error{"-d takes a number of states, not " + v};
        o.steady.directLimit = static_cast<int>(l);
        break;
      case 'V': o.variables.push_back(v); break;
      case 'p': o.plots.push_back(v); break;
      case 'f':
        if (v != "svg" && v != "png") return Error{"-f takes svg or png, not " + v};
        o.plotFormat = v;
        break;
    }
  }
  if (o.usage) return o;
  if (!haveP || !haveN) return Error{"solve needs -P<path> and -N<name>"};
  if (o.name.empty()) return Error{"-N needs a name"};
  return o;
}

}  // namespace solver
