#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "OptionValue.h"

namespace sim {

namespace {

const char* valueDescription(char letter) {
  switch (letter) {
    case 'P': return "the output path";
    case 'N': return "the experiment name";
    case 'B': return "the experiment number";
    case 'O': return "the override string";
    case 'S': return "the seed";
    case 'c': return "the confidence level";
    case 'r': return "the relative half-width";
    case 'R': return "the replication budget";
    case 'T': return "the wall-time budget in seconds";
    case 'k': return "the replications between checks";
    case 'W': return "the warm-up events";
    case 'L': return "the events of a steady-state observation";
    case 'p': return "the variable to plot";
    case 'V': return "the variable to estimate";
    case 't': return "the time points";
    case 'f': return "the plot format";
    case 'X': return "the method";
    case 'E': return "the paths a stage of splitting";
    case 'I': return "the variable and its importance variable";
    default: return nullptr;
  }
}

// A whole number from 0 to 2^64 - 1, digits only.
std::optional<std::uint64_t> toCount(const char* text) {
  if (!*text) return std::nullopt;
  for (const char* c = text; *c; c++)
    if (*c < '0' || *c > '9') return std::nullopt;
  errno = 0;
  const unsigned long long v = std::strtoull(text, nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return v;
}

std::optional<double> toReal(const char* text) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (end == text || *end || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

void printUsage(std::ostream& out) {
  out << "usage:  simulate -Ppath -Nname [-Bexperiment] [-Ooverrides] [-Sseed] [-clevel] [-rrelative_half_width]\n"
         "                 [-Rreplications] [-Tseconds] [-kreplications_per_check] [-Wwarmup_events]\n"
         "                 [-Lobservation_events] [-Vvariable] [-ttime[,time...]] [-pvariable] [-fsvg|png]\n"
         "                 [-Xsplit|sampling|plain] [-Epaths_per_stage] [-Ivariable=importance_variable]\n"
         "Example:  simulate -P./ -Nexp1 -B0 -S7 -c0.99\n";
}

ParsedOptions parseOptions(int argc, const char* const argv[], int numExperiments) {
  ParsedOptions result;
  Options& o = result.options;
  if (argc <= 1) {
    result.action = ParsedOptions::Action::Usage;
    return result;
  }
  bool havePath = false, haveName = false;
  auto fail = [&](const std::string& message) { result.errors.push_back("simulate: " + message); };
  for (int i = 1; i < argc; i++) {
    const char* word = argv[i];
    if (word[0] != '-' || word[1] == '\0') {
      fail(std::string("unexpected argument ") + word);
      continue;
    }
    const char letter = word[1];
    if (letter == 'h' && word[2] == '\0') {
      result.action = ParsedOptions::Action::Usage;
      return result;
    }
    if (!valueDescription(letter)) {
      fail(std::string("unknown option ") + word);
      continue;
    }
    const OptionValue given = optionValue(word, i + 1 < argc ? argv[i + 1] : nullptr);
    if (!given.text) {
      fail(std::string("option -") + letter + " is missing its value (" + valueDescription(letter) + ")");
      continue;
    }
    if (given.nextWord) i++;
    const char* value = given.text;
    const std::string shown = std::string("-") + letter + " " + value;
    auto count = [&](std::uint64_t& into, std::uint64_t least) {
      const auto v = toCount(value);
      if (!v || *v < least)
        fail(shown + ": " + valueDescription(letter) + " must be a whole number of at least " + std::to_string(least));
      else
        into = *v;
    };
    switch (letter) {
      case 'P':
        o.path = value;
        havePath = true;
        break;
      case 'N':
        o.name = value;
        haveName = true;
        break;
      case 'B': {
        const auto v = toCount(value);
        if (!v || *v >= static_cast<std::uint64_t>(numExperiments))
          fail("experiment number " + std::string(value) + " is out of range: valid experiment numbers are 0 to " +
               std::to_string(numExperiments - 1));
        else
          o.experiment = static_cast<int>(*v);
        break;
      }
      case 'O': o.overrides = value; break;
      case 'S': count(o.seed, 0); break;
      case 'c': {
        const auto v = toReal(value);
        if (!v || !(*v > 0 && *v < 1))
          fail(shown + ": the confidence level must lie strictly between 0 and 1");
        else
          o.level = *v;
        break;
      }
      case 'r': {
        const auto v = toReal(value);
        if (!v || !(*v > 0))
          fail(shown + ": the relative half-width must be above 0");
        else
          o.relativeHalfWidth = *v;
        break;
      }
      case 'R': count(o.maxReplications, 2); break;
      case 'T': {
        const auto v = toReal(value);
        if (!v || !(*v > 0))
          fail(shown + ": the wall-time budget must be a number of seconds above 0");
        else
          o.wallSeconds = *v;
        break;
      }
      case 'k': count(o.round, 2); break;
      case 'W': count(o.warmupEvents, 0); break;
      case 'L': count(o.batchEvents, 1); break;
      case 't': {
        // A list of times, comma-separated, each finite and not negative.
        std::string list = value;
        std::size_t from = 0;
        bool good = true;
        for (;;) {
          const std::size_t comma = list.find(',', from);
          const std::string item = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
          const auto v = toReal(item.c_str());
          if (!v || !(*v >= 0)) {
            good = false;
            break;
          }
          o.times.push_back(*v);
          if (comma == std::string::npos) break;
          from = comma + 1;
        }
        if (!good) fail(shown + ": the time points are numbers from 0 on, separated by commas");
        break;
      }
      case 'p': o.plots.push_back(value); break;
      case 'V': o.variables.push_back(value); break;
      case 'f':
        if (std::strcmp(value, "svg") != 0 && std::strcmp(value, "png") != 0)
          fail(shown + ": the plot format is svg or png");
        else
          o.plotFormat = value;
        break;
      case 'X':
        if (std::strcmp(value, "split") != 0 && std::strcmp(value, "sampling") != 0 &&
            std::strcmp(value, "plain") != 0) {
          fail(shown + ": the method is split, sampling or plain");
        } else {
          o.split = std::strcmp(value, "split") == 0;
          o.sampling = std::strcmp(value, "sampling") == 0;
        }
        break;
      case 'E': count(o.effort, 2); break;
      case 'I': {
        const char* equals = std::strchr(value, '=');
        if (!equals || equals == value || !equals[1])
          fail(shown + ": the importance is given as variable=importance_variable");
        else
          o.importanceOf.emplace_back(std::string(value, equals), std::string(equals + 1));
        break;
      }
      default: break;
    }
  }
  if (o.warmupEvents > UINT64_MAX - o.batchEvents)
    fail("-W " + std::to_string(o.warmupEvents) + " -L " + std::to_string(o.batchEvents) +
         ": the warm-up and observation events together must be below 2^64");
  if (!havePath) fail("option -P is missing: it gives the output path");
  if (!haveName) fail("option -N is missing: it gives the experiment name");
  if (!result.errors.empty()) result.action = ParsedOptions::Action::Fail;
  return result;
}

}  // namespace sim
