// Catalog stream reader: any bytes give items or a CCatalogException, and the
// list is untouched by a failed read. What reads is written again and must
// read back to the same items. Recovery of the same bytes gives a tree that
// writes and reads back whole.
#include <cstdlib>
#include <cstring>

#include "catalog/CatalogStream.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void Same(const CFileItem& a, const CFileItem& b) {
  Check(std::strcmp(a.GetClassName(), b.GetClassName()) == 0);
  Check(a.type == b.type && a.name == b.name && a.description == b.description && a.size == b.size &&
        a.time == b.time && a.level == b.level && a.attributes == b.attributes && a.isArchive == b.isArchive);
  Check(!a.thumbnail == !b.thumbnail);
  if (a.thumbnail) Check(*a.thumbnail == *b.thumbnail);
  if (auto* x = dynamic_cast<const CFileItemAppli*>(&a)) {
    auto* y = dynamic_cast<const CFileItemAppli*>(&b);
    Check(y && x->installProgram == y->installProgram && x->appSize == y->appSize && x->appTime == y->appTime);
  }
  if (auto* x = dynamic_cast<const CFileItemMedia*>(&a)) {
    auto* y = dynamic_cast<const CFileItemMedia*>(&b);
    Check(y && x->rootPath == y->rootPath && x->volumeLabel == y->volumeLabel && x->fileSystem == y->fileSystem &&
          x->serialNumber == y->serialNumber);
  }
}

void Recover(const uint8_t* data, size_t size) {
  CFileItemList kept;
  CMemorySource source(data, size);
  const CatalogRecovery r = RecoverCatalog(kept, source);
  Check(r.kept == kept.size());
  for (size_t i = 0; i < kept.size(); ++i) Check(kept[i]->level >= 0 && kept[i]->level <= (i ? kept[i - 1]->level + 1 : 0));
  const std::vector<uint8_t> bytes = WriteCatalogToMemory(kept);
  CFileItemList back;
  Check(ReadCatalogFromMemory(back, bytes.data(), bytes.size()) == CatalogReadResult::Ok && back.size() == kept.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PLSetPixelLimit(uint64_t{1} << 24);
  Recover(data, size);
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "sentinel", 0, 0, 0, 0));
  list.RebuildContainerIndex();
  list.fileVersion = 7;
  try {
    if (ReadCatalogFromMemory(list, data, size) == CatalogReadResult::TooRecent) {
      Check(list.size() == 1 && list.fileVersion == 7);
      return 0;
    }
  } catch (const CCatalogException&) {
    Check(list.size() == 1 && list.fileVersion == 7 && list.containerIndex.size() == 1);
    return 0;
  }
  Check(list.fileVersion >= 0 && list.fileVersion <= 4);
  for (size_t i = 1; i < list.size(); ++i)
    Check((list[i]->type != ITEM_FILE) ==
          std::binary_search(list.containerIndex.begin(), list.containerIndex.end(), static_cast<uint32_t>(i)));

  list.items.erase(list.items.begin());
  list.RebuildContainerIndex();
  const std::vector<uint8_t> bytes = WriteCatalogToMemory(list);
  CFileItemList back;
  Check(ReadCatalogFromMemory(back, bytes.data(), bytes.size()) == CatalogReadResult::Ok);
  Check(back.size() == list.size());
  for (size_t i = 0; i < list.size(); ++i) Same(*list[i], *back[i]);
  return 0;
}
