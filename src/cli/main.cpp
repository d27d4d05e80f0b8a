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

int UsageError(const CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
  const std::string word = CommandWord(argc, argv);
  const bool known = !word.empty() && IsCommand(app, word);
  std::string message = e.what();
  if (word.empty() && dynamic_cast<const CLI::RequiredError*>(&e)) message = "no command given";
  if (!word.empty() && !known) message = "unknown command '" + word + "'";
  std::cerr << "quolvane-cli: " << message << "\nTry 'quolvane-cli " << (known ? word + " " : "")
            << "--help' for more information.\n";
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
  for (auto& reg : Registrars()) reg(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help
  } catch (const CLI::ParseError& e) {
    return UsageError(app, e, argc, argv);
  } catch (const CliError& e) {
    std::cerr << "quolvane-cli: " << e.what() << "\n";
    return e.status;
  } catch (const std::exception& e) {
    std::cerr << "quolvane-cli: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
