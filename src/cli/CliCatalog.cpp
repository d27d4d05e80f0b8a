#include "catalog/CatalogLock.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItemList.h"
#include "cli/Cli.h"
#include "i18n/Translator.h"

void FailCatalog(const std::string& path, const CCatalogException& e) {
  throw CliError(path + ": " + Translate(e.key) + ": " + e.what());
}

CFileItemList LoadCatalogForCli(const std::string& path, IProgressSink* progress) {
  CFileItemList list;
  try {
    if (LoadCatalogFile(list, path, progress) == CatalogReadResult::TooRecent)
      throw CliError(path + ": " + Translate("IDS_TOORECENTFILE"));
  } catch (const CCatalogException& e) {
    FailCatalog(path, e);
  }
  return list;
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
