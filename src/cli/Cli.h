// Shared plumbing of quolvane-cli: each command file registers itself.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Thrown by a command to end with a message on stderr and an exit status.
struct CliError : std::runtime_error {
  CliError(const std::string& message, int status = 1) : std::runtime_error(message), status(status) {}
  int status;
};

// A command line the command cannot use, found by the command itself: ends
// like the parser's own usage errors, with status 2 and a pointer to the
// help of `command` (empty: the program's help).
struct CliUsageError : CliError {
  CliUsageError(const std::string& problem, const std::string& command) : CliError(problem, 2), command(command) {}
  std::string command;
};

// The words of usage errors, shared by the parser's errors and the
// commands' own checks so that every command speaks alike.
std::string UnexpectedArgumentsProblem(const std::vector<std::string>& arguments);
std::string NotANumberProblem(const std::string& name, const std::string& value);
// The second line of every usage error.
std::string HelpPointer(const std::string& command);

struct CliOptions {
  std::string settingsFile;  // --settings, on every command
};
CliOptions& GlobalCliOptions();

// A static CliCommand in a command file adds its subcommands to the app.
struct CliCommand {
  explicit CliCommand(std::function<void(CLI::App&)> registrar);
};

class CFileItemList;
class IProgressSink;
class CCatalogException;
class CCatalogLock;
// Reads a catalog for a command; a newer version or a read failure becomes a
// CliError naming the file and the cause.
CFileItemList LoadCatalogForCli(const std::string& path, IProgressSink* progress = nullptr);
// Writes a catalog for a command, failing the same way; a file made
// read-only is not replaced.
void SaveCatalogForCli(CFileItemList& list, const std::string& path, IProgressSink* progress = nullptr);
// Hands a command's catalog over to the end of the process: the system
// takes a large catalog's memory back at once, where freeing it item by
// item costs a tenth of a load. Only for commands about to end.
void KeepUntilExit(CFileItemList&& list);
[[noreturn]] void FailCatalog(const std::string& path, const CCatalogException& e);
// Before a command reads, changes and saves a catalog: fails at once when
// the catalog could not be saved (naming the file and the cause), then
// locks it for the whole command, waiting a few seconds while another
// program changes it; fails clearly when that program does not finish.
void LockCatalogForChange(CCatalogLock& lock, const std::string& path);
