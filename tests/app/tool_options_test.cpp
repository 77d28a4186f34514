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
  } cases[] = {
      {{"a", "--other", "--flag"}, OptionProblem::kUnknown, "--other"},
      {{"-"}, OptionProblem::kUnknown, "-"},
      {{"a", ""}, OptionProblem::kUnknown, ""},
      {{"a", "--text"}, OptionProblem::kMissingValue, "--text"},
      {{"--number", "0"}, OptionProblem::kBadValue, "--number"},
      {{"--number", "11"}, OptionProblem::kBadValue, "--number"},
      {{"--number", "5x"}, OptionProblem::kBadValue, "--number"},
      {{"--number", ""}, OptionProblem::kBadValue, "--number"},
  };
  for (const Case& c : cases) {
    OptionProblem problem = Parse(c.args).problem;
    EXPECT_EQ(problem.kind, c.kind) << c.args.back();
    EXPECT_EQ(problem.argument, c.argument) << c.args.back();
  }
}

}  // namespace
}  // namespace gq
