// Element values: the number notation, values files and settings.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "analysis/element_values.h"

namespace velkor {
namespace {

TEST(EngineeringNumber, ScaleSuffixesAndUnitLetters) {
  struct Case {
    const char* text;
    long double value;
  };
  const Case cases[] = {
      {"1.5k", 1500},    {"10Meg", 1e7},    {"10MEG", 1e7},   {"10M", 0.01},     {"10m", 0.01},
      {"2.2u", 2.2e-6},  {"47p", 47e-12},   {"1e-9", 1e-9},   {".5", 0.5},       {"10kOhm", 1e4},
      {"1uF", 1e-6},     {"3.3nH", 3.3e-9}, {"1F", 1e-15},    {"2G", 2e9},       {"1t", 1e12},
      {"-3", -3},        {"+4.7", 4.7},     {"1e3k", 1e6},    {"5.", 5},         {"100Hz", 100},
      {"1MegOhm", 1e6},  {"3E2", 300},      {"7ohm", 7},      {"2e", 2},         {"0", 0},
      {"10k5", 10.5e3},  {"4k7", 4.7e3},    {"2n2", 2.2e-9},  {"4meg7", 4.7e6},  {"-1M5", -1.5e-3},
      {"4k7Ohm", 4.7e3}, {"1mil", 25.4e-6}, {"2MIL", 50.8e-6}, {"1u05F", 1.05e-6},
  };
  for (const Case& c : cases) {
    auto value = parseEngineeringNumber(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_NEAR(static_cast<double>(*value), static_cast<double>(c.value), 1e-15 * std::fabs(static_cast<double>(c.value)))
        << c.text;
  }
  for (const char* bad : {"", "k", "-", ".", "1.2.3", "1.5k5", "1e3k5", "4k7.5", "1e999", "abc", "1/2", "1,5", "1 k", "0x10", "1e-9999k"})
    EXPECT_FALSE(parseEngineeringNumber(bad).has_value()) << bad;
}

TEST(ValuesFile, CommentsBlankLinesAndLaterValuesWin) {
  std::istringstream in("* a filter\n\nr1 10k   # input\n  c1=1n\nr1 = 22k\r\n# end\nY0 20m\n");
  ElementValues values;
  values.readFile(in, "bench.val");
  ASSERT_NE(values.find("r1"), nullptr);
  EXPECT_EQ(values.find("r1")->value, 22e3L);
  EXPECT_EQ(values.find("r1")->origin, "bench.val:5");
  EXPECT_NEAR(static_cast<double>(values.find("c1")->value), 1e-9, 1e-24);
  EXPECT_NEAR(static_cast<double>(values.find("Y0")->value), 0.02, 1e-17);
  EXPECT_EQ(values.find("R1"), nullptr);  // names keep their case
  values.set("r1=4.7k");
  EXPECT_EQ(values.find("r1")->value, 4700.0L);
  EXPECT_EQ(values.find("r1")->origin, "--set");
}

TEST(ValuesFile, ErrorsNameTheFileAndLine) {
  auto message = [](const std::string& text) {
    std::istringstream in(text);
    ElementValues values;
    try {
      values.readFile(in, "v.txt");
    } catch (const ValuesError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("r1 1k\n\nc1 1x2\n"), "v.txt:3: bad value '1x2' for c1");
  EXPECT_EQ(message("r1\n"), "v.txt:1: expected NAME VALUE, found 'r1'");
  EXPECT_EQ(message("r1 1k 2k\n"), "v.txt:1: expected NAME VALUE, found 'r1 1k 2k'");
  EXPECT_EQ(message("= 5\n"), "v.txt:1: expected NAME VALUE, found '= 5'");

  ElementValues values;
  EXPECT_THROW(values.readFile("/nonexistent/values.txt"), ValuesError);
  for (const char* bad : {"r1", "=1k", "r1=", "r1=fast", "r 1=2"}) {
    try {
      values.set(std::string_view(bad));
      ADD_FAILURE() << bad;
    } catch (const ValuesError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(std::string("--set=") + bad + ": ", 0), 0u) << e.what();
    }
  }
}

}  // namespace
}  // namespace velkor
