#include "app/ToolOptions.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace gq {
namespace {

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int32_t* value) {
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || number < low || number > high) return false;
  *value = static_cast<int32_t>(number);
  return true;
}

const ToolOption* FindOption(const std::vector<ToolOption>& options, const std::string& name) {
  for (const ToolOption& option : options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

ToolOption FlagOption(std::string name, bool* target) {
  return {std::move(name), [target] { *target = true; }, nullptr};
}

ToolOption TextOption(std::string name, std::string* target) {
  return {std::move(name), nullptr, [target](const std::string& value) {
            *target = value;
            return true;
          }};
}

ToolOption NumberOption(std::string name, int64_t low, int64_t high, int32_t* target) {
  std::string requirement = "must be " + std::to_string(low);
  requirement += high >= INT32_MAX / 2 ? " or more" : " to " + std::to_string(high);
  return {std::move(name), nullptr,
          [=](const std::string& value) { return ParseNumber(value, low, high, target); },
          std::move(requirement)};
}

std::string DescribeProblem(const OptionProblem& problem) {
  switch (problem.kind) {
    case OptionProblem::kUnknown:
      return "unknown option \"" + problem.argument + "\"";
    case OptionProblem::kMissingValue:
      return problem.argument + " needs a value";
    case OptionProblem::kBadValue:
      return problem.argument + " " +
             (problem.requirement.empty() ? "has a value it does not take" : problem.requirement);
    case OptionProblem::kNone:
      break;
  }
  return "";
}

OptionProblem ParseToolOptions(const ToolArguments& args, const std::vector<ToolOption>& options,
                               std::vector<std::string>* positional) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const ToolOption* option = FindOption(options, arg);
    if (option == nullptr) {
      if (arg.empty() || arg[0] == '-') return {OptionProblem::kUnknown, arg};
      positional->push_back(arg);
    } else if (option->set) {
      option->set();
    } else if (i + 1 == args.size()) {
      return {OptionProblem::kMissingValue, arg};
    } else if (!option->read(args[++i])) {
      return {OptionProblem::kBadValue, arg, option->requirement};
    }
  }
  return {};
}

}  // namespace gq
