#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ResultsDB.h"

TEST(ResultsDBTest, StoresOnlyTheValuesThatArePresent) {
  ResultsDB db("dbhost", -1, nullptr, nullptr, nullptr);
  EXPECT_STREQ(db.serverName, "dbhost");
  EXPECT_EQ(db.number, -1);
  EXPECT_STREQ(db.thirdText, "");
  EXPECT_STREQ(db.fourthText, "");
  EXPECT_STREQ(db.fifthText, "");

  db.setDBInfo(nullptr, 12, "three", "four", "five");
  EXPECT_STREQ(db.serverName, "dbhost");  // untouched
  EXPECT_EQ(db.number, 12);
  EXPECT_STREQ(db.thirdText, "three");
  EXPECT_STREQ(db.fourthText, "four");
  EXPECT_STREQ(db.fifthText, "five");
}

TEST(ResultsDBTest, OverlongTextsAreCutToTheirFields) {
  std::string longText(1000, 'x');
  ResultsDB db(longText.c_str(), 3, longText.c_str(), longText.c_str(), longText.c_str());
  EXPECT_EQ(std::strlen(db.serverName), 99u);
  EXPECT_EQ(std::strlen(db.thirdText), 99u);
  EXPECT_EQ(std::strlen(db.fourthText), 99u);
  EXPECT_EQ(std::strlen(db.fifthText), 199u);
  EXPECT_EQ(db.number, 3);  // the field after the server name is intact

  std::string exact(99, 'y');
  db.setDBInfo(exact.c_str(), -1, nullptr, nullptr, nullptr);
  EXPECT_EQ(std::string(db.serverName), exact);
}

TEST(ResultsDBTest, EveryRequestSucceeds) {
  ResultsDB db("h", -1, nullptr, nullptr, nullptr);
  EXPECT_TRUE(db.writeSSGExperInfo(nullptr, 0));
  EXPECT_TRUE(db.writeSSGExperInfo("exp1", 123456));
  EXPECT_EQ(db.getRunId(nullptr), -1);
  EXPECT_EQ(db.getRunId("run"), -1);
  EXPECT_TRUE(db.init(nullptr, -1, nullptr, nullptr, nullptr));
  EXPECT_TRUE(db.writeSingleGV("a", "short", "1", nullptr));
  EXPECT_TRUE(db.writeGVValues(nullptr, "exp"));
  EXPECT_STREQ(db.serverName, "h");  // init stores nothing
}
