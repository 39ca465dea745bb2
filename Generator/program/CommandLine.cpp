#include "CommandLine.h"

#include <climits>
#include <cstdlib>
#include <ostream>
#include <sstream>

#include "OptionValue.h"

namespace {

// The atoi rule (leading blanks, optional sign, decimal digits; no digits
// gives 0) without its undefined behaviour on overflow: values beyond the
// range of int are clamped to it.
int toInt(const char* text) {
  long v = std::strtol(text, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// What each option letter that takes a value expects, for error messages.
const char* valueDescription(char letter) {
  switch (letter) {
    case 'P': return "the experiment directory path";
    case 'N': return "the experiment name";
    case 'B': return "the experiment number";
    case 'h': return "the hash table load factor";
    case 'F': return "the file type";
    case 'e': return "the database entity name";
    case 's': return "the database server name";
    case 'l': return "the trace level";
    case 't': return "the trace file name";
    case 'O': return "the override string";
    default: return nullptr;
  }
}

}  // namespace

void printUsage(std::ostream& out) {
  out << "usage:  gen -Pexperimentfilepath -Nexperimentname -hhash_value"
      << " -Bexperimentnumber -Ffiletype -edb_entity -sdb_macserver "
      << " -ltrace_level[0-4] -tTraceFilename" << '\n'
      << "Example:  gen -P. -Nexp1 -B0" << '\n';
}

CommandLineResult commandline(int argc, const char* const argv[], int numExperiments, std::ostream& echo) {
  CommandLineResult result;
  GenOptions& options = result.options;
  bool havePath = false;
  bool haveName = false;

  if (argc <= 3) {
    result.action = CommandLineResult::Action::Usage;
    return result;
  }
  for (int i = 0; i < argc; i++) options.arguments.push_back(argv[i] ? argv[i] : "");

  std::string missingValues;         // letters of options given without a value, in order
  std::string experimentText = "0";  // the -B value as given, for messages
  const char* hashText = nullptr;    // the last -h value that parsed

  for (int i = 1; i < argc; i++) {
    const char* word = argv[i];
    if (!word || word[0] != '-') continue;
    const char letter = word[1];  // '\0' for a lone "-"
    const OptionValue given = optionValue(word, i + 1 < argc ? argv[i + 1] : nullptr);
    const char* value = given.text;
    const char* lastWord = word;
    if (given.nextWord) lastWord = argv[++i];

    if (valueDescription(letter) && !value) {
      if (missingValues.find(letter) == std::string::npos) missingValues += letter;
      continue;
    }
    switch (letter) {
      case 'P':
        options.path = value;
        havePath = true;
        echo << "path=[" << value << "]\n";
        break;
      case 'N':
        options.name = value;
        haveName = true;
        break;
      case 'B':
        options.experiment = toInt(value);
        experimentText = value;
        break;
      case 'h': {
        // "%lf" semantics; a value that does not parse keeps the load factor.
        char* end = nullptr;
        double parsed = std::strtod(value, &end);
        if (end != value) {
          options.loadFactor = parsed;
          hashText = value;
        }
        break;
      }
      case 'F': options.fileType = toInt(value); break;
      case 'e': options.dbEntity = value; break;
      case 's': options.dbHost = value; break;
      case 'l':
        options.traceLevel = toInt(value);
        echo << "TraceLevel=" << options.traceLevel << '\n';
        break;
      case 't': options.traceFile = value; break;
      case 'O':
        options.overrides = value;
        echo << "OverrideString is " << value << '\n';
        break;
      case 'a':
        // Takes no value; a following non-option word was consumed all the same.
        options.absorbing = true;
        break;
      case 'U':
        // Takes no value, like -a.
        options.umb = true;
        break;
      case 'u':
        // The .umb without the .pvtype, .arm, .var and .det; no value either.
        options.umb = true;
        options.umbOnly = true;
        break;
      default: echo << "ERROR: unknown argument: " << lastWord << '\n'; break;
    }
  }

  // Every check happens here, before anything is created or written.
  for (char letter : missingValues) {
    result.errors.push_back(std::string("gen: option -") + letter + " is missing its value (" +
                            valueDescription(letter) + ")");
    result.showUsage = true;
  }
  if (!havePath && missingValues.find('P') == std::string::npos) {
    result.errors.push_back("gen: option -P is missing: it gives the experiment directory path");
    result.showUsage = true;
  }
  if (!haveName && missingValues.find('N') == std::string::npos) {
    result.errors.push_back("gen: option -N is missing: it gives the experiment name");
    result.showUsage = true;
  }
  if (options.experiment < 0 || options.experiment >= numExperiments) {
    std::ostringstream message;
    if (numExperiments > 0)
      message << "gen: experiment number " << experimentText << " is out of range: valid experiment numbers are 0 to "
              << numExperiments - 1;
    else
      message << "gen: the study has no experiments";
    result.errors.push_back(message.str());
  }
  if (hashText && !(options.loadFactor >= kMinLoadFactor && options.loadFactor < 1.0)) {
    result.errors.push_back(std::string("gen: hash table load factor ") + hashText +
                            " is out of range: it must be at least 0.01 and less than 1");
  }
  if (!result.errors.empty()) result.action = CommandLineResult::Action::Fail;
  return result;
}
