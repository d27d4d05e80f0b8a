#include <cstring>
#include <vector>

#include "app/Document.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItemList.h"
#include "cli/Cli.h"
#include "i18n/Translator.h"

void FailCatalog(const std::string& path, const CCatalogException& e) {
  // The file opened, so a read error is in its bytes: say that first, the
  // reader's detail only helps once the user knows it is the wrong file.
  if (e.key == "IDS_FILEREADERROR")
    throw CliError(path + ": not a readable Quolvane catalog (" + e.what() + "); 'quolvane-cli recover " + path +
                   " OUT.qvd' can save what precedes the damage");
  throw CliError(path + ": " + Translate(e.key) + ": " + e.what());
}

CFileItemList LoadCatalogForCli(const std::string& path, IProgressSink* progress) {
  if (const int problem = CatalogReadProblem(path)) throw CliError(path + ": " + std::strerror(problem));
  CFileItemList list;
  try {
    if (LoadCatalogFile(list, path, progress) == CatalogReadResult::TooRecent)
      throw CliError(path + ": " + Translate("IDS_TOORECENTFILE"));
  } catch (const CCatalogException& e) {
    FailCatalog(path, e);
  }
  return list;
}

void KeepUntilExit(CFileItemList&& list) {
  // Never destroyed, and still reachable from here, so leak checkers do
  // not count it as lost.
  static auto* kept = new std::vector<CFileItemList>();
  kept->push_back(std::move(list));
}

void SaveCatalogForCli(CFileItemList& list, const std::string& path, IProgressSink* progress) {
  if (const std::string problem = CatalogWriteProblem(path); !problem.empty()) throw CliError(path + ": " + problem);
  try {
    SaveCatalogFile(list, path, progress);
  } catch (const CCatalogException& e) {
    FailCatalog(path, e);
  }
}

void LockCatalogForChange(CCatalogLock& lock, const std::string& path) {
  constexpr int kWaitMs = 3000;
  try {
    CheckCatalogWritable(path);
  } catch (const CCatalogException& e) {
    FailCatalog(path, e);
  }
  std::string error;
  if (!lock.Lock(path, kWaitMs, &error)) throw CliError(path + ": " + error);
}
