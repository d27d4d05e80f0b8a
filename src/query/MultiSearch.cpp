#include "query/MultiSearch.h"

#include <algorithm>

#include "catalog/CatalogStream.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"

namespace {

// The load's own percentages, placed within one catalog's share of the whole.
class SharedProgress : public IProgressSink {
 public:
  SharedProgress(IProgressSink& outer, size_t part, size_t parts) : outer_(outer), part_(part), parts_(parts) {}
  void SetPercent(int percent) override {
    const int whole = static_cast<int>((part_ * 100 + static_cast<size_t>(std::clamp(percent, 0, 100))) / parts_);
    if (whole != last_) outer_.SetPercent(last_ = whole);
  }
  bool StopRequested() override { return outer_.StopRequested(); }

 private:
  IProgressSink& outer_;
  size_t part_, parts_;
  int last_ = -1;
};

}  // namespace

MultiSearchResult SearchCatalogFiles(const std::vector<std::string>& files, const SearchCriteria& criteria,
                                     const MultiSearchVisitor& visit, IProgressSink* progress) {
  MultiSearchResult result;
  std::vector<size_t> found;
  for (size_t k = 0; k < files.size(); ++k) {
    if (progress && progress->StopRequested()) {
      result.stopped = true;
      break;
    }
    if (progress) progress->Begin(FormatInserts(Translate("IDS_SHELF_SEARCHING"),
                                                {files[k], static_cast<long>(k + 1), static_cast<long>(files.size())}));
    // One catalog at a time: the list goes before the next one is read.
    CFileItemList list;
    try {
      std::unique_ptr<SharedProgress> share;
      if (progress) share = std::make_unique<SharedProgress>(*progress, k, files.size());
      if (LoadCatalogFile(list, files[k], share.get()) == CatalogReadResult::TooRecent) {
        result.failures.push_back({files[k], Translate("IDS_TOORECENTFILE")});
        continue;
      }
    } catch (const CCatalogException& e) {
      result.failures.push_back({files[k], Translate(e.key) + ": " + e.what()});
      continue;
    } catch (const std::exception& e) {
      result.failures.push_back({files[k], e.what()});
      continue;
    }
    found.clear();
    SearchCatalog(list, -1, criteria, found);
    result.found += found.size();
    if (!found.empty() && visit) visit(k, list, found);
  }
  if (progress) progress->End();
  return result;
}
