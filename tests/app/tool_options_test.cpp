#include <gtest/gtest.h>

#include "app/ToolOptions.h"

namespace gq {
namespace {

struct Parsed {
  OptionProblem problem;
  std::vector<std::string> positional;
  bool flag = false;
  std::string text;
  int32_t number = -1;
};

Parsed Parse(const ToolArguments& args) {
  Parsed parsed;
  parsed.problem =
      ParseToolOptions(args,
                       {FlagOption("--flag", &parsed.flag), TextOption("--text", &parsed.text),
                        NumberOption("--number", 1, 10, &parsed.number)},
                       &parsed.positional);
  return parsed;
}

TEST(ToolOptions, OptionsAndPositionalArgumentsInAnyOrder) {
  Parsed parsed = Parse({"a", "--number", "10", "b", "--text", "--flag", "--flag"});
  EXPECT_FALSE(parsed.problem);
  EXPECT_EQ(parsed.positional, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(parsed.number, 10);
  EXPECT_EQ(parsed.text, "--flag");  // a value is taken as it is
  EXPECT_TRUE(parsed.flag);
}

TEST(ToolOptions, TheFirstProblemNamesItsArgument) {
  struct Case {
    ToolArguments args;
    OptionProblem::Kind kind;
    std::string argument;
    std::string description;
  } cases[] = {
      {{"a", "--other", "--flag"},
       OptionProblem::kUnknown,
       "--other",
       "unknown option \"--other\""},
      {{"-"}, OptionProblem::kUnknown, "-", "unknown option \"-\""},
      {{"a", ""}, OptionProblem::kUnknown, "", "unknown option \"\""},
      {{"a", "--text"}, OptionProblem::kMissingValue, "--text", "--text needs a value"},
      {{"--number", "0"}, OptionProblem::kBadValue, "--number", "--number must be 1 to 10"},
      {{"--number", "11"}, OptionProblem::kBadValue, "--number", "--number must be 1 to 10"},
      {{"--number", "5x"}, OptionProblem::kBadValue, "--number", "--number must be 1 to 10"},
      {{"--number", ""}, OptionProblem::kBadValue, "--number", "--number must be 1 to 10"},
  };
  for (const Case& c : cases) {
    OptionProblem problem = Parse(c.args).problem;
    EXPECT_EQ(problem.kind, c.kind) << c.args.back();
    EXPECT_EQ(problem.argument, c.argument) << c.args.back();
    EXPECT_EQ(DescribeProblem(problem), c.description);
  }
}

}  // namespace
}  // namespace gq
