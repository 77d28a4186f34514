// The options of a gqtool command as a table. Each entry names an option ("--quick")
// and what it does: a flag runs its action, an option with a value hands the next
// argument to its reader. Every other argument is positional when it is not empty and
// does not start with '-'. Used on the command's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/gqtool.h"

namespace gq {

struct ToolOption {
  ToolOption(std::string name, std::function<void()> set,
             std::function<bool(const std::string& value)> read, std::string requirement = {})
      : name(std::move(name)),
        set(std::move(set)),
        read(std::move(read)),
        requirement(std::move(requirement)) {}

  std::string name;
  // For a flag: run when the option is given.
  std::function<void()> set;
  // For an option with a value: takes the value; false for a value it does not accept.
  std::function<bool(const std::string& value)> read;
  // For an option with a value: what the value must be, for usage errors ("must be 1 or
  // more").
  std::string requirement;
};

// A flag that sets *target to true.
ToolOption FlagOption(std::string name, bool* target);
// An option whose value is any text.
ToolOption TextOption(std::string name, std::string* target);
// An option whose value is a whole number from low to high (a high of INT32_MAX / 2 or
// more counts as no upper bound in its requirement).
ToolOption NumberOption(std::string name, int64_t low, int64_t high, int32_t* target);

// What stopped the parse: nothing, an argument that is no option of the table nor
// positional, an option whose value is missing, or a value its reader refused. argument
// names the offending argument (the option for a missing or refused value).
struct OptionProblem {
  enum Kind { kNone, kUnknown, kMissingValue, kBadValue };
  OptionProblem() = default;
  OptionProblem(Kind kind, std::string argument, std::string requirement = {})
      : kind(kind), argument(std::move(argument)), requirement(std::move(requirement)) {}

  Kind kind = kNone;
  std::string argument;
  std::string requirement;  // the refusing option's, for a refused value
  explicit operator bool() const { return kind != kNone; }
};

// The problem for a usage error: "unknown option --x", "--x needs a value", "--first
// must be 1 or more".
std::string DescribeProblem(const OptionProblem& problem);

// Runs the table over args in order and collects the positional arguments; stops at the
// first problem.
OptionProblem ParseToolOptions(const ToolArguments& args, const std::vector<ToolOption>& options,
                               std::vector<std::string>* positional);

}  // namespace gq
