// Catalog save and load on a synthetic catalog of a million items, against
// raw zlib on the same payload bytes, and resident memory per loaded item.
//   bench_catalog [items] [repetitions]
//   bench_catalog --write FILE [items]   only writes the synthetic catalog,
//                                        for timing and comparing the commands
#include <malloc.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "BenchCpu.h"
#include "catalog/CatalogStream.h"

namespace {

using bench::Timed;

long ResidentBytes() {
  long size = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

// A catalog that looks like a few hundred scanned discs: folders of media,
// directory trees, one item in ten a directory, assorted file names, a few
// descriptions (version texts, picture and sound summaries).
CFileItemList Synthetic(size_t count) {
  std::mt19937 rng(12345);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  const char* stems[] = {"IMG_", "DSC", "track ", "setup", "readme", "Rapport annuel ", "invoice-", "lib",
                         "Vacances \xC3\xA9t\xC3\xA9 ", "data", "chapter", "thumb"};
  const char* exts[] = {".jpg", ".mp3", ".exe", ".txt", ".doc", ".pdf", ".dll", ".zip", ".png", ".htm", ".wav", ".ini"};
  const char* dirs[] = {"Program Files", "Photos 2019", "Music", "Documents", "drivers", "src", "images",
                        "backup", "Setup", "bin", "Albums", "Projets"};
  CFileItemList list;
  list.items.reserve(count);
  int16_t level = 0;
  size_t mediaLeft = 0;
  while (list.items.size() < count) {
    const size_t i = list.items.size();
    if (i % 50000 == 0) {
      list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Folder " + std::to_string(i / 50000), 0,
                                                       1500000000, 0, 0));
      mediaLeft = 0;
      continue;
    }
    if (mediaLeft == 0) {
      auto media = std::make_unique<CFileItemMediaCD>();
      media->name = "Disc " + std::to_string(i);
      media->level = 1;
      media->rootPath = "/media/cdrom/";
      media->volumeLabel = "DISC_" + std::to_string(i % 9999);
      media->fileSystem = "ISO9660";
      media->serialNumber = static_cast<uint32_t>(rng());
      list.items.push_back(std::move(media));
      mediaLeft = 2000 + pick(3000);
      level = 2;
      continue;
    }
    --mediaLeft;
    const uint32_t time = 900000000 + static_cast<uint32_t>(rng() % 700000000);
    if (pick(10) == 0) {
      // A directory: one level down, or back up a little first.
      if (level > 2 && pick(3) == 0) level = static_cast<int16_t>(level - 1 - pick(static_cast<size_t>(level - 2)));
      std::string name = dirs[pick(std::size(dirs))];
      if (pick(2)) name += " " + std::to_string(pick(100));
      list.items.push_back(std::make_unique<CFileItem>(ITEM_DIRECTORY, name, 0, time, level, WIN32_ATTR_DIRECTORY));
      if (level < 12) ++level;
      continue;
    }
    std::string name = stems[pick(std::size(stems))];
    name += std::to_string(pick(100000));
    name += exts[pick(std::size(exts))];
    auto file = std::make_unique<CFileItem>(ITEM_FILE, name, static_cast<uint32_t>(rng() % 8000000), time, level,
                                            WIN32_ATTR_ARCHIVE);
    if (pick(20) == 0)
      file->description = "Version 1." + std::to_string(pick(10)) + "\r\nCompany: Example Software\r\nDescription: " +
                          name + " component\r\n";
    list.items.push_back(std::move(file));
  }
  list.RebuildContainerIndex();
  return list;
}

// The plain bytes of every block of a version-4 stream, with the raw payloads.
struct Payload {
  std::vector<std::vector<uint8_t>> plain, packed;
};

Payload Blocks(const std::vector<uint8_t>& s) {
  Payload p;
  size_t pos = 6;
  auto u32 = [&] {
    uint32_t v = static_cast<uint32_t>(s[pos]) | (static_cast<uint32_t>(s[pos + 1]) << 8) |
                 (static_cast<uint32_t>(s[pos + 2]) << 16) | (static_cast<uint32_t>(s[pos + 3]) << 24);
    pos += 4;
    return v;
  };
  if (s[pos] == 0xFF && s[pos + 1] == 0xFF) {
    pos += 2;
    u32();
  } else {
    pos += 2;
  }
  z_stream zs{};
  inflateInit(&zs);
  while (pos < s.size()) {
    u32();
    const uint32_t packedLength = u32(), plainLength = u32();
    p.packed.emplace_back(s.begin() + static_cast<long>(pos), s.begin() + static_cast<long>(pos + packedLength));
    pos += packedLength;
    p.plain.emplace_back(plainLength);
    zs.next_in = p.packed.back().data();
    zs.avail_in = packedLength;
    zs.next_out = p.plain.back().data();
    zs.avail_out = plainLength;
    inflate(&zs, Z_SYNC_FLUSH);
  }
  inflateEnd(&zs);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--write") {
    CFileItemList list = Synthetic(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1000000);
    SaveCatalogFile(list, argv[2]);
    return 0;
  }
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const int reps = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string path =
      (std::filesystem::temp_directory_path() / ("bench-catalog-" + std::to_string(getpid()) + ".qvd")).string();

  CFileItemList list = Synthetic(count);
  std::vector<uint8_t> stream = WriteCatalogToMemory(list);
  const Payload payload = Blocks(stream);
  size_t plainBytes = 0;
  for (const auto& b : payload.plain) plainBytes += b.size();

  // Raw zlib on the same bytes: one stream, sync-flushed per block.
  std::vector<uint8_t> out(CATALOG_BLOCK_LIMIT * 2 + 4096);
  auto rawDeflateRun = [&] {
    z_stream zs{};
    deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    for (const auto& b : payload.plain) {
      zs.next_in = const_cast<uint8_t*>(b.data());
      zs.avail_in = static_cast<uInt>(b.size());
      zs.next_out = out.data();
      zs.avail_out = static_cast<uInt>(out.size());
      deflate(&zs, Z_SYNC_FLUSH);
    }
    deflateEnd(&zs);
  };
  auto rawInflateRun = [&] {
    z_stream zs{};
    inflateInit(&zs);
    for (size_t i = 0; i < payload.packed.size(); ++i) {
      zs.next_in = const_cast<uint8_t*>(payload.packed[i].data());
      zs.avail_in = static_cast<uInt>(payload.packed[i].size());
      zs.next_out = out.data();
      zs.avail_out = static_cast<uInt>(payload.plain[i].size());
      inflate(&zs, Z_SYNC_FLUSH);
    }
    inflateEnd(&zs);
  };

  // The runs alternate, so that a busy moment of the machine does not fall
  // on one side of a ratio only; the best of each is kept.
  double saveMem = 1e30, saveFile = 1e30, rawDeflate = 1e30, loadMem = 1e30, loadFile = 1e30, rawInflate = 1e30;
  // The list command as a user runs it (start, load, one line per item),
  // from beside this program, in CPU seconds of the child.
  const std::string cli = (std::filesystem::path(argv[0]).parent_path() / "quolvane-cli").string();
  const bool haveCli = std::filesystem::exists(cli);
  const std::string listCommand = "'" + cli + "' list '" + path + "' > /dev/null";
  double listRun = 1e30;
  for (int r = 0; r < reps; ++r) {
    saveMem = std::min(saveMem, Timed([&] { stream = WriteCatalogToMemory(list); }));
    rawDeflate = std::min(rawDeflate, Timed(rawDeflateRun));
    saveFile = std::min(saveFile, Timed([&] { SaveCatalogFile(list, path); }));
    rawInflate = std::min(rawInflate, Timed(rawInflateRun));
    {
      // Only the load is timed; freeing the items afterwards is not.
      CFileItemList back;
      loadMem = std::min(loadMem, Timed([&] { ReadCatalogFromMemory(back, stream.data(), stream.size()); }));
    }
    {
      CFileItemList back;
      loadFile = std::min(loadFile, Timed([&] { LoadCatalogFile(back, path); }));
    }
    if (haveCli) {
      const double before = bench::ChildrenCpuSeconds();
      if (std::system(listCommand.c_str()) == 0) listRun = std::min(listRun, bench::ChildrenCpuSeconds() - before);
    }
  }
  list.Clear();

  // Resident memory of one loaded catalog, from a heap given back to the system.
  malloc_trim(0);
  const long before = ResidentBytes();
  CFileItemList kept;
  LoadCatalogFile(kept, path);
  const long after = ResidentBytes();
  std::filesystem::remove(path);

  std::printf("(CPU seconds, best of %d alternating runs)\n", reps);
  std::printf("items                      %zu (file %zu bytes, payload %zu bytes in %zu blocks)\n", kept.size(),
              stream.size(), plainBytes, payload.plain.size());
  std::printf("sizeof(CFileItem)          %zu bytes\n", sizeof(CFileItem));
  std::printf("save to memory             %.3f s  %.0f items/s\n", saveMem, count / saveMem);
  std::printf("save to file              %.3f s  %.0f items/s\n", saveFile, count / saveFile);
  std::printf("raw deflate of payload     %.3f s\n", rawDeflate);
  std::printf("save / raw deflate         %.2f (memory)  %.2f (file)\n", saveMem / rawDeflate, saveFile / rawDeflate);
  std::printf("load from memory           %.3f s  %.0f items/s\n", loadMem, count / loadMem);
  std::printf("load from file             %.3f s  %.0f items/s\n", loadFile, count / loadFile);
  std::printf("raw inflate of payload     %.3f s\n", rawInflate);
  std::printf("load / raw inflate         %.2f (memory)  %.2f (file)\n", loadMem / rawInflate, loadFile / rawInflate);
  if (listRun < 1e30) {
    std::printf("list command               %.3f s  %.0f items/s\n", listRun, count / listRun);
    std::printf("list / raw inflate         %.2f\n", listRun / rawInflate);
  } else {
    std::printf("list command               (quolvane-cli not built beside this program)\n");
  }
  std::printf("resident memory per item   %.1f bytes\n", static_cast<double>(after - before) / kept.size());
  return 0;
}
