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
