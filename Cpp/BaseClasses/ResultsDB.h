#ifndef RESULTS_DB_H
#define RESULTS_DB_H

class BaseStudyClass;

// Interface for recording an experiment and its results in a results
// database. No database stands behind it: it keeps the connection values it
// is given and every request reports success. Texts longer than their field
// are cut to fit.
class ResultsDB {
 public:
  static constexpr int kServerNameSize = 100;
  static constexpr int kThirdTextSize = 100;
  static constexpr int kFourthTextSize = 100;
  static constexpr int kFifthTextSize = 200;

  // A null text or the number -1 stands for an absent value; absent values
  // leave their field unchanged.
  ResultsDB(const char* serverName, int number, const char* third, const char* fourth, const char* fifth);
  ResultsDB(const ResultsDB&) = delete;
  ResultsDB& operator=(const ResultsDB&) = delete;
  ~ResultsDB();

  void setDBInfo(const char* serverName, int number, const char* third, const char* fourth, const char* fifth);
  bool init(const char* serverName, int number, const char* third, const char* fourth, const char* fifth);
  int getRunId(const char* name);
  bool writeSingleGV(const char* name, const char* type, const char* value, void* data);
  bool writeGVValues(BaseStudyClass* study, const char* experiment);
  bool writeSSGExperInfo(const char* experimentName, unsigned long numStates);

  char serverName[kServerNameSize] = {};
  int number = -1;
  char fifthText[kFifthTextSize] = {};
  char thirdText[kThirdTextSize] = {};
  char fourthText[kFourthTextSize] = {};
};

#endif
