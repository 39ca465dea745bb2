#include "ResultsDB.h"

#include <cstring>

namespace {
// Copies at most size - 1 characters and always terminates.
template <int N>
void CopyText(char (&field)[N], const char* text) {
  std::size_t n = strnlen(text, N - 1);
  std::memcpy(field, text, n);
  field[n] = '\0';
}
}  // namespace

ResultsDB::ResultsDB(const char* server, int num, const char* third, const char* fourth, const char* fifth) {
  setDBInfo(server, num, third, fourth, fifth);
}

ResultsDB::~ResultsDB() = default;

void ResultsDB::setDBInfo(const char* server, int num, const char* third, const char* fourth, const char* fifth) {
  if (fifth != nullptr) CopyText(fifthText, fifth);
  if (server != nullptr) CopyText(serverName, server);
  if (num != -1) number = num;
  if (third != nullptr) CopyText(thirdText, third);
  if (fourth != nullptr) CopyText(fourthText, fourth);
}

bool ResultsDB::init(const char*, int, const char*, const char*, const char*) { return true; }

int ResultsDB::getRunId(const char*) { return -1; }

bool ResultsDB::writeSingleGV(const char*, const char*, const char*, void*) { return true; }

bool ResultsDB::writeGVValues(BaseStudyClass*, const char*) { return true; }

bool ResultsDB::writeSSGExperInfo(const char*, unsigned long) { return true; }
