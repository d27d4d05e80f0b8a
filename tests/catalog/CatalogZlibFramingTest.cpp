// The zlib wrapper of the catalog stream is written and checked by the
// catalog code around a raw deflate and inflate; these tests hold it to what
// zlib itself writes and accepts.
#include <gtest/gtest.h>
#include <zlib.h>

#include "catalog/CatalogStream.h"
#include "catalog/StreamBytes.h"

namespace {

// Items of every class and every text form (ASCII, Windows-1252, UTF-16),
// enough of them for several blocks.
CFileItemList Mixed(size_t count) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Dossier \xC3\xA9t\xC3\xA9", 0, 7, 0, 0));
  auto media = std::make_unique<CFileItemMediaDir>();
  media->name = "Disc";
  media->level = 1;
  media->rootPath = "/mnt/\xCE\xB1";  // Greek alpha: only the UTF-16 form holds it
  media->volumeLabel = "LABEL";
  media->fileSystem = "ext4";
  media->serialNumber = 0xA1B2C3D4;
  list.items.push_back(std::move(media));
  auto appli = std::make_unique<CFileItemAppli>();
  appli->name = "Setup";
  appli->level = 2;
  appli->description = "Installer\r\nv2";
  appli->installProgram = "setup.exe";
  appli->appSize = 99;
  list.items.push_back(std::move(appli));
  for (size_t i = list.size(); i < count; ++i) {
    std::string name = (i % 7 == 0 ? "r\xC3\xA9sum\xC3\xA9-" : "file-") + std::to_string(i * 7919 % 100003) + ".dat";
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, name, static_cast<uint32_t>(i), 0, 3, 0));
    if (i % 11 == 0) list.items.back()->description = "line " + std::to_string(i);
  }
  return list;
}

// A version-4 stream of hand-made blocks: {itemCount, plainLength, payload}.
struct Block {
  uint32_t itemCount, plainLength;
  std::vector<uint8_t> payload;
};
std::vector<uint8_t> Stream(uint16_t count, const std::vector<Block>& blocks) {
  StreamBytes b;
  b.u16(0).u16(4).u16(1).u16(count);
  for (const Block& k : blocks) b.u32(k.itemCount).u32(static_cast<uint32_t>(k.payload.size())).u32(k.plainLength).raw(k.payload);
  return b.v;
}

std::vector<uint8_t> OneRecord(const std::string& name) {
  StreamBytes r;
  r.newClass("CFileItem").u8(ITEM_FILE).str(name).u32(1).u32(2).u16(0).u8(0).u32(0).str("").u8(0);
  return r.v;
}

// Deflates blocks through zlib's own wrapper, sync-flushing each, and
// finishing the stream after the last when asked.
std::vector<std::vector<uint8_t>> ZlibPayloads(const std::vector<std::vector<uint8_t>>& plains, bool finish) {
  z_stream zs{};
  EXPECT_EQ(deflateInit(&zs, Z_DEFAULT_COMPRESSION), Z_OK);
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i < plains.size(); ++i) {
    std::vector<uint8_t> buf(plains[i].size() * 2 + 256);
    zs.next_in = const_cast<uint8_t*>(plains[i].data());
    zs.avail_in = static_cast<uInt>(plains[i].size());
    zs.next_out = buf.data();
    zs.avail_out = static_cast<uInt>(buf.size());
    const bool last = i + 1 == plains.size();
    EXPECT_EQ(deflate(&zs, finish && last ? Z_FINISH : Z_SYNC_FLUSH), finish && last ? Z_STREAM_END : Z_OK);
    buf.erase(buf.end() - zs.avail_out, buf.end());
    out.push_back(std::move(buf));
  }
  deflateEnd(&zs);
  return out;
}

std::string ReadError(const std::vector<uint8_t>& bytes) {
  CFileItemList list;
  try {
    ReadCatalogFromMemory(list, bytes.data(), bytes.size());
  } catch (const CCatalogException& e) {
    return e.what();
  }
  return "read";
}

}  // namespace

TEST(CatalogZlibFraming, PayloadsAreWhatZlibsOwnDeflateWrites) {
  CFileItemList list = Mixed(60000);
  const auto bytes = WriteCatalogToMemory(list);
  const ParsedStream ps = ParseV4(bytes);
  ASSERT_GE(ps.blocks.size(), 3u);
  std::vector<std::vector<uint8_t>> plains;
  for (const auto& b : ps.blocks) plains.push_back(b.plain);
  const auto want = ZlibPayloads(plains, false);
  for (size_t i = 0; i < ps.blocks.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ps.blocks[i].payload, want[i]);
  }
  // And what was written reads back field for field.
  CFileItemList back;
  ReadCatalogFromMemory(back, bytes.data(), bytes.size());
  ASSERT_EQ(back.size(), list.size());
  EXPECT_EQ(back[0]->name, list[0]->name);
  const auto* media = dynamic_cast<const CFileItemMediaDir*>(back[1]);
  ASSERT_NE(media, nullptr);
  EXPECT_EQ(media->rootPath, "/mnt/\xCE\xB1");
  EXPECT_EQ(media->serialNumber, 0xA1B2C3D4u);
  const auto* appli = dynamic_cast<const CFileItemAppli*>(back[2]);
  ASSERT_NE(appli, nullptr);
  EXPECT_EQ(appli->installProgram, "setup.exe");
  for (size_t i = 3; i < list.size(); i += 997) {
    EXPECT_EQ(back[i]->name, list[i]->name);
    EXPECT_EQ(back[i]->description, list[i]->description);
  }
  EXPECT_EQ(WriteCatalogToMemory(back), bytes);
}

TEST(CatalogZlibFraming, ReaderTakesWhatZlibTakesAndRefusesWhatItRefuses) {
  const auto a = OneRecord("a"), b = OneRecord("bb");
  // A stream another writer finished, Adler-32 trailer and all, still reads.
  {
    const auto packed = ZlibPayloads({a, b}, true);
    const auto bytes = Stream(2, {{1, static_cast<uint32_t>(a.size()), packed[0]},
                                  {1, static_cast<uint32_t>(b.size()), packed[1]}});
    CFileItemList list;
    ReadCatalogFromMemory(list, bytes.data(), bytes.size());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]->name, "bb");
  }
  // Bad headers give zlib's own words.
  struct HeaderCase {
    uint8_t cmf, flg;
    const char* error;
  };
  const HeaderCase cases[] = {
      {0x78, 0x9D, "incorrect header check"},
      {0x77, 0x85, "unknown compression method"},  // method 7
      {0x88, 0x98, "invalid window size"},         // a 64 KiB window
      {0x78, 0xBB, "zlib error 2"},               // a preset dictionary
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.error);
    ASSERT_EQ(((c.cmf << 8) | c.flg) % 31 == 0, std::string(c.error) != "incorrect header check");
    auto packed = ZlibPayloads({a}, false)[0];
    packed[0] = c.cmf;
    packed[1] = c.flg;
    const auto bytes = Stream(1, {{1, static_cast<uint32_t>(a.size()), packed}});
    EXPECT_NE(ReadError(bytes).find(c.error), std::string::npos) << ReadError(bytes);
    CFileItemList kept;
    CMemorySource source(bytes.data(), bytes.size());
    const CatalogRecovery r = RecoverCatalog(kept, source);
    EXPECT_TRUE(r.damaged);
    EXPECT_EQ(r.kept, 0u);
    EXPECT_EQ(r.damageOffset, 8u);  // the start of the block that would not read
    EXPECT_EQ(r.damagedBlock, 1u);
  }
}
