#include "cli/Cli.h"

std::string UnexpectedArgumentsProblem(const std::vector<std::string>& arguments) {
  std::string text = arguments.size() == 1 ? "unexpected argument" : "unexpected arguments";
  for (const std::string& a : arguments) text += " '" + a + "'";
  return text;
}

std::string NotANumberProblem(const std::string& name, const std::string& value) {
  return name + ": '" + value + "' is not a number";
}

std::string HelpPointer(const std::string& command) {
  return "Try 'quolvane-cli " + (command.empty() ? std::string() : command + " ") + "--help' for more information.";
}
