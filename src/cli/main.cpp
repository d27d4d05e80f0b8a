#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "cli/Cli.h"

namespace {
std::vector<std::function<void(CLI::App&)>>& Registrars() {
  static std::vector<std::function<void(CLI::App&)>> registrars;
  return registrars;
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
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const CliError& e) {
    std::cerr << "quolvane-cli: " << e.what() << "\n";
    return e.status;
  } catch (const std::exception& e) {
    std::cerr << "quolvane-cli: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
