#ifndef REWARD_H
#define REWARD_H

#include <string>

#include "OutputFile.h"

class PVModel;

// Writes the reward file: the names of the reward model's performance
// variables, one per line, then one record per state at the moment the state
// is first reached: its number followed by every variable's impulse value and
// rate value, as the reward model evaluated them at the last firing.
//
// File types 1, 3 and 5 give text records (reals in the default general
// format, 6 significant digits); every other type gives binary records
// (4-byte state number, then 8-byte impulse and rate values per variable).
// The header is always text.
//
// The file stays open for the whole generation run; Close() ends it and tells
// whether everything reached the file.
class Reward {
 public:
  // Opens the file and writes the header. `reportedName`, when not empty,
  // names the file in messages. When the file cannot be opened: GenError
  // "Could not open file dude <name>: <reason>" (standard error, status 1).
  Reward(PVModel* model, short fileType, const char* fileName, const std::string& reportedName = {},
         FileCreation creation = FileCreation::Replace);
  Reward(const Reward&) = delete;
  Reward& operator=(const Reward&) = delete;

  // Appends the record of one state.
  void Calculate(unsigned long stateNumber);
  // The same for a state evaluated on another model instance: appends a
  // record of the values readRewardValues copied out of it.
  void Write(unsigned long stateNumber, const double* values);
  // Flushes and closes the file; false when a write or the close failed.
  bool Close();
  const OutputFile& file() const { return rewfile; }

  PVModel* model;
  short fileType;
  int index = 0;  // the number of performance variables once the header is written

 private:
  bool textRecords() const { return fileType == 1 || fileType == 3 || fileType == 5; }
  OutputFile rewfile;
};

#endif
