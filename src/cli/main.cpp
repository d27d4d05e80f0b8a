#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace {
std::vector<std::function<void(CLI::App&)>>& Registrars() {
  static std::vector<std::function<void(CLI::App&)>> registrars;
  return registrars;
}

// Bad usage exits 2, as grep, diff and the getopt tools do; 1 stays for a
// command that failed.
constexpr int kUsageStatus = 2;

// The command word of the command line: the first argument that is not an
// option or the value of --settings.
std::string CommandWord(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--settings") {
      ++i;
    } else if (arg.empty() || arg[0] != '-') {
      return arg;
    }
  }
  return {};
}

bool IsCommand(const CLI::App& app, const std::string& word) {
  try {
    return app.get_subcommand(word) != nullptr;
  } catch (const CLI::OptionNotFound&) {
    return false;
  }
}

// Arguments the parser had no place for, in command-line order.
void CollectUnexpected(const CLI::App* app, std::vector<std::string>& out) {
  for (const std::string& r : app->remaining(false)) out.push_back(r);
  for (const CLI::App* sub : app->get_subcommands()) CollectUnexpected(sub, out);
}

// The parser's message in the program's own words where it has them.
std::string ProblemOf(const CLI::App& app, const CLI::ParseError& e) {
  std::string message = e.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
    std::vector<std::string> extras;
    CollectUnexpected(&app, extras);
    if (!extras.empty()) return UnexpectedArgumentsProblem(extras);
  }
  // "Could not convert: NAME = VALUE": every converted value is a number.
  static const std::string kConvert = "Could not convert: ";
  if (dynamic_cast<const CLI::ConversionError*>(&e) && message.rfind(kConvert, 0) == 0) {
    const size_t eq = message.find(" = ", kConvert.size());
    if (eq != std::string::npos)
      return NotANumberProblem(message.substr(kConvert.size(), eq - kConvert.size()), message.substr(eq + 3));
  }
  // "NAME: Value V not in range A to B", the range check of a number.
  if (dynamic_cast<const CLI::ValidationError*>(&e)) {
    const size_t value = message.find(": Value ");
    const size_t range = message.find(" not in range ", value == std::string::npos ? 0 : value);
    if (value != std::string::npos && range != std::string::npos) {
      const std::string name = message.substr(0, value);
      const std::string v = message.substr(value + 8, range - value - 8);
      char* end = nullptr;
      std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0') return NotANumberProblem(name, v);
      std::string bounds = message.substr(range + 14);
      if (const size_t to = bounds.find(" to "); to != std::string::npos) bounds.replace(to, 4, " and ");
      return name + ": " + v + " is not between " + bounds;
    }
  }
  return message;
}

int UsageError(const CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
  const std::string word = CommandWord(argc, argv);
  const bool known = !word.empty() && IsCommand(app, word);
  std::string message = ProblemOf(app, e);
  if (word.empty() && dynamic_cast<const CLI::RequiredError*>(&e)) message = "no command given";
  if (!word.empty() && !known) message = "unknown command '" + word + "'";
  std::cerr << "quolvane-cli: " << message << "\n" << HelpPointer(known ? word : std::string()) << "\n";
  return kUsageStatus;
}
}  // namespace

CliOptions& GlobalCliOptions() {
  static CliOptions options;
  return options;
}

CliCommand::CliCommand(std::function<void(CLI::App&)> registrar) {
  Registrars().push_back(std::move(registrar));
}

int main(int argc, char** argv) {
  // With TZ unset, every local-time conversion re-reads the zone file; ZIP
  // listings convert one time per member.
  if (!std::getenv("TZ")) setenv("TZ", ":/etc/localtime", 0);
  CLI::App app{"quolvane-cli: build, read and query Quolvane catalogs (.QVD)"};
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("--settings", GlobalCliOptions().settingsFile, "settings file (INI) to use");
  app.set_version_flag("--version", "quolvane-cli " QUOLVANE_VERSION);
  for (auto& reg : Registrars()) reg(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help
  } catch (const CLI::ParseError& e) {
    return UsageError(app, e, argc, argv);
  } catch (const CliUsageError& e) {
    std::cerr << "quolvane-cli: " << e.what() << "\n" << HelpPointer(e.command) << "\n";
    return e.status;
  } catch (const CliError& e) {
    std::cerr << "quolvane-cli: " << e.what() << "\n";
    return e.status;
  } catch (const std::exception& e) {
    std::cerr << "quolvane-cli: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
