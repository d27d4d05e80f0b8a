// Version descriptions of PE and NE executables built byte by byte here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "describe/ExeVersion.h"
#include "describe/VersionResourceBytes.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void Add16(Bytes& b, uint32_t v) {
  b.resize(b.size() + 2);
  Put16(b, b.size() - 2, v);
}
void Add32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  Put32(b, b.size() - 4, v);
}
void Pad4(Bytes& b) { b.resize((b.size() + 3) & ~size_t{3}); }

// A block of a version resource, before layout.
struct Block {
  std::string key;  // ASCII, or Windows-1252 for the 16-bit layout
  Bytes value;
  bool text = false;
  uint16_t valueUnits = 0;  // the stored value length of a text
  std::vector<Block> children;
};

Block Text(const std::string& key, const std::string& value) {
  Block b{key, {}, true, 0, {}};
  b.value.assign(value.begin(), value.end());
  b.valueUnits = static_cast<uint16_t>(value.size() + 1);
  return b;
}

// Lays a block out as the 32-bit (UTF-16) or 16-bit (ANSI) form. Texts are
// given as Latin-1 bytes and widened for the 32-bit form.
Bytes Layout(const Block& block, bool wide) {
  Bytes out(wide ? 6 : 4);
  for (unsigned char c : block.key) {
    if (wide) Add16(out, c);
    else out.push_back(c);
  }
  if (wide) Add16(out, 0);
  else out.push_back(0);
  Pad4(out);
  uint16_t valueLength = static_cast<uint16_t>(block.value.size());
  if (block.text) {
    for (unsigned char c : block.value) {
      if (wide) Add16(out, c);
      else out.push_back(c);
    }
    if (wide) Add16(out, 0);
    else out.push_back(0);
    valueLength = wide ? block.valueUnits : static_cast<uint16_t>(block.value.size() + 1);
  } else {
    out.insert(out.end(), block.value.begin(), block.value.end());
  }
  for (const Block& child : block.children) {
    Pad4(out);
    Bytes c = Layout(child, wide);
    out.insert(out.end(), c.begin(), c.end());
  }
  Put16(out, 0, static_cast<uint32_t>(out.size()));
  Put16(out, 2, valueLength);
  if (wide) Put16(out, 4, block.text ? 1 : 0);
  return out;
}

using Strings = std::vector<std::pair<std::string, std::string>>;

struct VersionSpec {
  uint32_t ms = 0x00010002, ls = 0x00030004;
  std::vector<std::pair<std::string, Strings>> tables;  // key such as "040904b0"
  std::vector<uint32_t> translations;                   // language | codePage << 16
  bool stringFileInfo = true;
  uint32_t signature = kVsFixedFileInfoSignature;
};

Bytes VersionBlock(const VersionSpec& spec, bool wide) {
  Block root{"VS_VERSION_INFO", Bytes(52), false, 0, {}};
  Put32(root.value, 0, spec.signature);
  Put32(root.value, 4, 0x00010000);
  Put32(root.value, 8, spec.ms);
  Put32(root.value, 12, spec.ls);
  Put32(root.value, 16, spec.ms);
  Put32(root.value, 20, spec.ls);
  if (spec.stringFileInfo) {
    Block sfi{"StringFileInfo", {}, false, 0, {}};
    for (const auto& [tableKey, strings] : spec.tables) {
      Block table{tableKey, {}, false, 0, {}};
      for (const auto& [k, v] : strings) table.children.push_back(Text(k, v));
      sfi.children.push_back(table);
    }
    root.children.push_back(sfi);
  }
  if (!spec.translations.empty()) {
    Block var{"Translation", {}, false, 0, {}};
    for (uint32_t t : spec.translations) Add32(var.value, t);
    root.children.push_back(Block{"VarFileInfo", {}, false, 0, {var}});
  }
  return Layout(root, wide);
}

const Strings kStrings = {{"CompanyName", "Acme Corp"},        {"FileDescription", "Widget tool"},
                          {"FileVersion", "1.2.3.4"},          {"InternalName", "widget"},
                          {"LegalCopyright", "(c) 1996 Acme"}, {"OriginalFilename", "WIDGET.EXE"},
                          {"ProductName", "Widget"},           {"ProductVersion", "1.2"}};

VersionSpec Standard() {
  VersionSpec spec;
  spec.tables = {{"040904b0", kStrings}};
  spec.translations = {0x04B00409};
  return spec;
}

const char* const kStandardText =
    "Version: 1.2.3.4\r\n"
    "CompanyName:\tAcme Corp\r\n"
    "FileDescription:\tWidget tool\r\n"
    "FileVersion:\t1.2.3.4\r\n"
    "InternalName:\twidget\r\n"
    "LegalCopyright:\t(c) 1996 Acme\r\n"
    "OriginalFilename:\tWIDGET.EXE\r\n"
    "ProductName:\tWidget\r\n"
    "ProductVersion:\t1.2\r\n";

struct PeOptions {
  bool plus = false;            // PE32+
  bool withVersion = true;      // otherwise only an icon resource
  bool iconFirst = true;        // another resource type before the version
  uint32_t versionId = 1;
  size_t versionOffset = 0;     // filled in: file offset of the version block
  size_t versionSize = 0;
};

// MZ stub, PE header, one .rsrc section at RVA 0x1000 and file offset 0x200.
Bytes BuildPe(const Bytes& version, PeOptions& o) {
  const uint32_t sectionRva = 0x1000, rawPointer = 0x200;
  // Resource section: root, then a name and a language directory per type.
  struct Leaf {
    uint32_t type, id;
    Bytes data;
  };
  std::vector<Leaf> leaves;
  if (o.iconFirst || !o.withVersion) leaves.push_back({3, 1, Bytes(40, 0xAA)});
  if (o.withVersion) leaves.push_back({16, o.versionId, version});

  Bytes rsrc(16 + 8 * leaves.size());
  Put16(rsrc, 14, static_cast<uint32_t>(leaves.size()));
  std::vector<size_t> dataEntryAt;
  for (size_t i = 0; i < leaves.size(); ++i) {
    size_t nameDir = rsrc.size();
    Put32(rsrc, 16 + 8 * i, leaves[i].type);
    Put32(rsrc, 16 + 8 * i + 4, 0x80000000u | static_cast<uint32_t>(nameDir));
    rsrc.resize(nameDir + 24);
    Put16(rsrc, nameDir + 14, 1);
    Put32(rsrc, nameDir + 16, leaves[i].id);
    size_t langDir = rsrc.size();
    Put32(rsrc, nameDir + 20, 0x80000000u | static_cast<uint32_t>(langDir));
    rsrc.resize(langDir + 24);
    Put16(rsrc, langDir + 14, 1);
    Put32(rsrc, langDir + 16, 0x409);
    dataEntryAt.push_back(rsrc.size());
    Put32(rsrc, langDir + 20, static_cast<uint32_t>(rsrc.size()));
    rsrc.resize(rsrc.size() + 16);
  }
  for (size_t i = 0; i < leaves.size(); ++i) {
    Pad4(rsrc);
    Put32(rsrc, dataEntryAt[i], sectionRva + static_cast<uint32_t>(rsrc.size()));
    Put32(rsrc, dataEntryAt[i] + 4, static_cast<uint32_t>(leaves[i].data.size()));
    if (leaves[i].type == 16) {
      o.versionOffset = rawPointer + rsrc.size();
      o.versionSize = leaves[i].data.size();
    }
    rsrc.insert(rsrc.end(), leaves[i].data.begin(), leaves[i].data.end());
  }
  uint32_t virtualSize = static_cast<uint32_t>(rsrc.size());
  rsrc.resize((rsrc.size() + 0x1FF) & ~size_t{0x1FF});

  Bytes file(rawPointer);
  file[0] = 'M';
  file[1] = 'Z';
  const size_t pe = 0x80;
  Put32(file, 0x3C, pe);
  file[pe] = 'P';
  file[pe + 1] = 'E';
  const uint16_t optionalSize = o.plus ? 240 : 224;
  Put16(file, pe + 4, o.plus ? 0x8664 : 0x14C);
  Put16(file, pe + 6, 1);
  Put16(file, pe + 20, optionalSize);
  const size_t opt = pe + 24;
  Put16(file, opt, o.plus ? 0x20B : 0x10B);
  Put32(file, opt + 32, 0x1000);  // section alignment
  Put32(file, opt + 36, 0x200);   // file alignment
  const size_t dirs = opt + (o.plus ? 112 : 96);
  Put32(file, dirs - 4, 16);
  Put32(file, dirs + 16, sectionRva);
  Put32(file, dirs + 20, virtualSize);
  const size_t sec = opt + optionalSize;
  std::memcpy(&file[sec], ".rsrc", 5);
  Put32(file, sec + 8, virtualSize);
  Put32(file, sec + 12, sectionRva);
  Put32(file, sec + 16, static_cast<uint32_t>(rsrc.size()));
  Put32(file, sec + 20, rawPointer);
  file.insert(file.end(), rsrc.begin(), rsrc.end());
  return file;
}

Bytes BuildPe(const Bytes& version, bool plus = false) {
  PeOptions o;
  o.plus = plus;
  return BuildPe(version, o);
}

struct NeOptions {
  bool withVersion = true;
  bool iconFirst = true;
  uint16_t shift = 4;
  size_t versionOffset = 0;  // filled in
};

// MZ stub, NE header at 0x40, resource table right after it, resources at
// aligned offsets after the tables.
Bytes BuildNe(const Bytes& version, NeOptions& o) {
  const size_t ne = 0x40;
  Bytes table;
  Add16(table, o.shift);
  struct Res {
    uint16_t type, id;
    Bytes data;
    size_t nameInfo = 0;
  };
  std::vector<Res> res;
  if (o.iconFirst || !o.withVersion) res.push_back({0x8003, 0x8001, Bytes(48, 0x55)});
  if (o.withVersion) res.push_back({0x8010, 0x8001, version});
  for (Res& r : res) {
    Add16(table, r.type);
    Add16(table, 1);
    Add32(table, 0);
    r.nameInfo = table.size();
    table.resize(table.size() + 12);
    Put16(table, r.nameInfo + 4, 0x30);
    Put16(table, r.nameInfo + 6, r.id);
  }
  Add16(table, 0);
  const size_t tableOffset = 0x40;  // relative to the NE header
  Bytes file(ne + tableOffset);
  file[0] = 'M';
  file[1] = 'Z';
  Put32(file, 0x3C, ne);
  file[ne] = 'N';
  file[ne + 1] = 'E';
  Put16(file, ne + 0x24, tableOffset);
  Put16(file, ne + 0x26, static_cast<uint32_t>(tableOffset + table.size()));
  size_t tableAt = file.size();
  file.insert(file.end(), table.begin(), table.end());
  file.push_back(0);  // empty resident-name table
  const size_t unit = size_t{1} << o.shift;
  for (Res& r : res) {
    file.resize((file.size() + unit - 1) / unit * unit);
    if (r.type == 0x8010) o.versionOffset = file.size();
    Put16(file, tableAt + r.nameInfo, static_cast<uint32_t>(file.size() >> o.shift));
    Put16(file, tableAt + r.nameInfo + 2, static_cast<uint32_t>((r.data.size() + unit - 1) >> o.shift));
    file.insert(file.end(), r.data.begin(), r.data.end());
  }
  file.resize((file.size() + unit - 1) / unit * unit);
  return file;
}

Bytes BuildNe(const Bytes& version) {
  NeOptions o;
  return BuildNe(version, o);
}

std::string Describe(const Bytes& image) { return DescribeExecutableImage(image); }

bool ReadFrom(VersionInfoReader& reader, const Bytes& image) {
  MemoryByteSource source(image);
  return reader.ReadVersion(source);
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(ExeVersionPe, Pe32AndPe32PlusGiveTheVersionLineAndTheEightKeys) {
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    EXPECT_EQ(Describe(BuildPe(VersionBlock(Standard(), true), plus)), kStandardText);
  }
}

TEST(ExeVersionPe, ReaderExposesFixedRecordAndTranslation) {
  VersionSpec spec = Standard();
  spec.ms = 0xFFFF0000;
  spec.ls = 0x00070008;
  VersionInfoReader reader;
  ASSERT_TRUE(ReadFrom(reader, BuildPe(VersionBlock(spec, true))));
  EXPECT_EQ(reader.FixedInfo().signature, kVsFixedFileInfoSignature);
  EXPECT_EQ(reader.FixedInfo().fileVersionMS, 0xFFFF0000u);
  EXPECT_EQ(reader.Language(), 0x0409);
  EXPECT_EQ(reader.CodePage(), 0x04B0);
  EXPECT_EQ(reader.QueryVersionString("companyname"), "Acme Corp");  // keys ignore case
  EXPECT_EQ(reader.QueryVersionString("Comments"), "");
  std::span<const uint8_t> fixed;
  ASSERT_TRUE(reader.QueryValue("\\", fixed));
  EXPECT_EQ(fixed.size(), 52u);
  EXPECT_TRUE(FormatVersionDescription(reader).starts_with("Version: 65535.0.7.8\r\nCompanyName:\tAcme"));
}

TEST(ExeVersionPe, MissingStringsStillGiveEveryLine) {
  VersionSpec spec = Standard();
  spec.stringFileInfo = false;
  const std::string empty =
      "Version: 1.2.3.4\r\nCompanyName:\t\r\nFileDescription:\t\r\nFileVersion:\t\r\nInternalName:\t\r\n"
      "LegalCopyright:\t\r\nOriginalFilename:\t\r\nProductName:\t\r\nProductVersion:\t\r\n";
  EXPECT_EQ(Describe(BuildPe(VersionBlock(spec, true))), empty);
  spec.translations.clear();
  EXPECT_EQ(Describe(BuildPe(VersionBlock(spec, true))), empty);

  // Some keys present: the others stay empty, the order stays the table's.
  spec = Standard();
  spec.tables = {{"040904b0", {{"ProductName", "Only"}, {"CompanyName", "Co"}}}};
  std::string text = Describe(BuildPe(VersionBlock(spec, true)));
  EXPECT_NE(text.find("CompanyName:\tCo\r\nFileDescription:\t\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ProductName:\tOnly\r\nProductVersion:\t\r\n"), std::string::npos) << text;
}

TEST(ExeVersionPe, StringTableChoice) {
  const Strings english = {{"CompanyName", "English Co"}};
  const Strings french = {{"CompanyName", "Société FR"}};
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, Strings>> tables;
    std::vector<uint32_t> translations;
    const char* company;
  } cases[] = {
      {"no translation: first table", {{"040c04e4", french}, {"040904b0", english}}, {}, "Société FR"},
      {"translation picks the second", {{"040c04e4", french}, {"040904b0", english}}, {0x04B00409}, "English Co"},
      {"only the first translation counts",
       {{"040c04e4", french}, {"040904b0", english}},
       {0x04B00409, 0x04E4040C},
       "English Co"},
      {"table key in capitals", {{"040C04E4", french}}, {0x04E4040C}, "Société FR"},
      {"translation naming no table: first table", {{"040904e4", english}}, {0x04B00409}, "English Co"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VersionSpec spec;
    spec.tables = c.tables;
    spec.translations = c.translations;
    // Latin-1 bytes in the builder: widen "é" as one unit, as UTF-16 has it.
    for (auto& [key, strings] : spec.tables)
      for (auto& [k, v] : strings)
        for (auto at = v.find("é"); at != std::string::npos; at = v.find("é")) v.replace(at, 2, "\xE9");
    VersionInfoReader reader;
    ASSERT_TRUE(ReadFrom(reader, BuildPe(VersionBlock(spec, true))));
    EXPECT_EQ(reader.QueryVersionString("CompanyName"), c.company);
  }
}

TEST(ExeVersionPe, NoTranslationKeepsCodePage1252) {
  VersionSpec spec = Standard();
  spec.translations.clear();
  VersionInfoReader reader;
  ASSERT_TRUE(ReadFrom(reader, BuildPe(VersionBlock(spec, true))));
  EXPECT_FALSE(reader.HasTranslation());
  EXPECT_EQ(reader.CodePage(), 1252);
  EXPECT_EQ(Describe(BuildPe(VersionBlock(spec, true))), kStandardText);
}

TEST(ExeVersionPe, TextLengthsCountedInBytesOrWithoutNulStillRead) {
  // Resource compilers differ on the value length of texts; the NUL ends it.
  for (uint16_t units : {uint16_t{4}, uint16_t{20}, uint16_t{200}}) {
    Block root{"VS_VERSION_INFO", Bytes(52), false, 0, {}};
    Put32(root.value, 0, kVsFixedFileInfoSignature);
    Block text = Text("CompanyName", "Acme Corp");
    text.valueUnits = units;
    root.children.push_back(Block{"StringFileInfo", {}, false, 0, {Block{"040904b0", {}, false, 0, {text}}}});
    VersionInfoReader reader;
    ASSERT_TRUE(ReadFrom(reader, BuildPe(Layout(root, true))));
    EXPECT_EQ(reader.QueryVersionString("CompanyName"), "Acme Corp") << units;
  }
}

TEST(ExeVersionPe, OtherResourceIdsAndNoVersionResource) {
  PeOptions o;
  o.versionId = 7;  // not the usual id 1: the first one is still read
  EXPECT_EQ(Describe(BuildPe(VersionBlock(Standard(), true), o)), kStandardText);

  PeOptions none;
  none.withVersion = false;
  VersionInfoReader reader;
  EXPECT_FALSE(ReadFrom(reader, BuildPe({}, none)));
  EXPECT_EQ(reader.QueryVersionString("CompanyName"), "");
  EXPECT_EQ(Describe(BuildPe({}, none)), "");
}

TEST(ExeVersionPe, BadSignatureOrRootIsNoVersion) {
  VersionSpec spec = Standard();
  spec.signature = 0xFEEF04BC;
  EXPECT_EQ(Describe(BuildPe(VersionBlock(spec, true))), "");

  Bytes block = VersionBlock(Standard(), true);
  block[6] = 'X';  // key no longer VS_VERSION_INFO
  EXPECT_EQ(Describe(BuildPe(block)), "");
}

// ---------------------------------------------------------------------------

TEST(ExeVersionNe, AnsiStringsAndTheVersionLine) {
  VersionSpec spec = Standard();
  spec.tables = {{"040904E4", kStrings}};
  spec.tables[0].second[0].second = "Soci\xE9t\xE9";  // Windows-1252 on disk
  spec.translations = {0x04E40409};
  std::string text = Describe(BuildNe(VersionBlock(spec, false)));
  EXPECT_TRUE(text.starts_with("Version: 1.2.3.4\r\nCompanyName:\tSociété\r\nFile")) << text;
  EXPECT_NE(text.find("OriginalFilename:\tWIDGET.EXE\r\n"), std::string::npos);

  VersionInfoReader reader;
  ASSERT_TRUE(ReadFrom(reader, BuildNe(VersionBlock(spec, false))));
  EXPECT_EQ(reader.Layout(), VersionLayout::Ansi);
  EXPECT_EQ(reader.CodePage(), 1252);
  EXPECT_EQ(reader.Language(), 0x0409);
}

TEST(ExeVersionNe, WithoutStringsWithoutTranslationAndWithoutVersion) {
  VersionSpec spec = Standard();
  spec.stringFileInfo = false;
  std::string text = Describe(BuildNe(VersionBlock(spec, false)));
  EXPECT_TRUE(text.starts_with("Version: 1.2.3.4\r\nCompanyName:\t\r\n")) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);

  spec = Standard();
  spec.translations.clear();
  EXPECT_EQ(Describe(BuildNe(VersionBlock(spec, false))), kStandardText);

  NeOptions none;
  none.withVersion = false;
  EXPECT_EQ(Describe(BuildNe({}, none)), "");
}

TEST(ExeVersionNe, AlignmentShifts) {
  for (uint16_t shift : {uint16_t{0}, uint16_t{1}, uint16_t{4}, uint16_t{9}}) {
    NeOptions o;
    o.shift = shift;
    EXPECT_EQ(Describe(BuildNe(VersionBlock(Standard(), false), o)), kStandardText) << shift;
  }
}

TEST(ExeVersionNe, LastResourceMayEndInMissingPadding) {
  NeOptions o;
  o.shift = 9;
  o.iconFirst = false;
  Bytes block = VersionBlock(Standard(), false);
  Bytes file = BuildNe(block, o);
  file.resize(o.versionOffset + block.size());  // the declared 512-byte unit is cut
  EXPECT_EQ(Describe(file), kStandardText);
}

// ---------------------------------------------------------------------------

TEST(ExeVersionDamage, TruncatedAtEveryCutPoint) {
  struct Image {
    const char* name;
    Bytes bytes;
    size_t versionEnd;
  };
  std::vector<Image> images;
  for (bool plus : {false, true}) {
    PeOptions o;
    o.plus = plus;
    Bytes file = BuildPe(VersionBlock(Standard(), true), o);
    images.push_back({plus ? "PE32+" : "PE32", file, o.versionOffset + o.versionSize});
  }
  NeOptions n;
  Bytes block = VersionBlock(Standard(), false);
  Bytes ne = BuildNe(block, n);
  images.push_back({"NE", ne, n.versionOffset + block.size()});

  for (const Image& image : images) {
    SCOPED_TRACE(image.name);
    for (size_t cut = 0; cut <= image.bytes.size(); ++cut) {
      Bytes part(image.bytes.begin(), image.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      std::string text = Describe(part);
      if (cut < image.versionEnd) EXPECT_EQ(text, "") << "cut at " << cut;
      else EXPECT_EQ(text, kStandardText) << "cut at " << cut;
    }
  }
}

TEST(ExeVersionDamage, PeOffsetsPointingOutside) {
  Bytes good = BuildPe(VersionBlock(Standard(), true));
  ASSERT_EQ(Describe(good), kStandardText);
  const size_t pe = 0x80, opt = pe + 24, dirs = opt + 96, sec = opt + 224;
  struct Damage {
    const char* name;
    size_t at;
    uint32_t value;
    bool wide;  // 32-bit field, else 16-bit
  } damages[] = {
      {"e_lfanew past the end", 0x3C, 0xFFFFFFF0u, true},
      {"e_lfanew into the middle", 0x3C, 0x10, true},
      {"no sections", pe + 6, 0, false},
      {"section count huge", pe + 6, 0xFFFF, false},
      {"optional header too short", pe + 20, 100, false},
      {"optional header huge", pe + 20, 0xFFFF, false},
      {"unknown optional magic", opt, 0x107, false},
      {"two data directories only", dirs - 4, 2, true},
      {"resource rva zero", dirs + 16, 0, true},
      {"resource rva in no section", dirs + 16, 0x90000, true},
      {"resource rva at section end", dirs + 16, 0x11FF, true},
      {"raw data past the end", sec + 20, 0x7FFFFF00u, true},
      {"virtual address wraps", sec + 12, 0xFFFFF000u, true},
      {"root directory empty", 0x200 + 14, 0, false},
      {"root entry count huge", 0x200 + 14, 0xFFFF, false},
      {"root names count huge", 0x200 + 12, 0xFFFF, false},
      {"type directory offset outside", 0x200 + 16 + 8 + 4, 0x8FFFFFF0u, true},
      {"type entry is a leaf", 0x200 + 16 + 8 + 4, 0x00000010u, true},
  };
  for (const Damage& d : damages) {
    Bytes bad = good;
    if (d.wide) Put32(bad, d.at, d.value);
    else Put16(bad, d.at, d.value);
    EXPECT_EQ(Describe(bad), "") << d.name;
  }
}

TEST(ExeVersionDamage, PeDataEntryOutsideOrTooLarge) {
  PeOptions o;
  o.iconFirst = false;
  Bytes good = BuildPe(VersionBlock(Standard(), true), o);
  // One type: root (16+8), names (24), languages (24), then the data entry.
  const size_t entry = 0x200 + 24 + 24 + 24;
  ASSERT_EQ(LoadLe32(&good[entry + 4]), o.versionSize);
  for (uint32_t rva : {0u, 0xFFFFFFFFu, 0x2000u, 0x1000u + 0x1FFu}) {
    Bytes bad = good;
    Put32(bad, entry, rva);
    EXPECT_EQ(Describe(bad), "") << std::hex << rva;
  }
  for (uint32_t size : {0u, 0x7FFFFFFFu, kMaxVersionResourceSize + 1, 0x1000u}) {
    Bytes bad = good;
    Put32(bad, entry + 4, size);
    EXPECT_EQ(Describe(bad), "") << std::hex << size;
  }
}

TEST(ExeVersionDamage, NeOffsetsPointingOutside) {
  NeOptions o;
  o.iconFirst = false;
  Bytes good = BuildNe(VersionBlock(Standard(), false), o);
  ASSERT_EQ(Describe(good), kStandardText);
  const size_t ne = 0x40, table = ne + 0x40, nameInfo = table + 2 + 8;
  struct Damage {
    const char* name;
    size_t at;
    uint16_t value;
  } damages[] = {
      {"resource table past the end", ne + 0x24, 0xFFF0},
      {"no resource table", ne + 0x26, 0x40},
      {"shift huge", table, 40},
      {"shift moves the resource outside", table, 15},
      {"resource count huge", table + 4, 0xFFFF},
      {"resource offset outside", nameInfo, 0xFFFF},
      {"resource length zero", nameInfo + 2, 0},
      {"block not a version block", nameInfo, 1},
  };
  for (const Damage& d : damages) {
    Bytes bad = good;
    Put16(bad, d.at, d.value);
    EXPECT_EQ(Describe(bad), "") << d.name;
  }
  // A table whose end the header misstates still ends at its zero type.
  Bytes loose = good;
  Put16(loose, ne + 0x26, 0x20);
  EXPECT_EQ(Describe(loose), kStandardText);
}

TEST(ExeVersionDamage, BlockLengthsThatLieEndTheWalk) {
  Bytes block = VersionBlock(Standard(), true);
  // Root longer than the resource: the resource was cut short.
  Bytes longer = block;
  Put16(longer, 0, static_cast<uint32_t>(block.size() + 4));
  EXPECT_EQ(Describe(BuildPe(longer)), "");

  // A child of length zero or running past its parent: the walk stops there,
  // the version line stays.
  const size_t sfi = 40 + 52;  // StringFileInfo right after the fixed record
  for (uint16_t len : {uint16_t{0}, uint16_t{3}, uint16_t{0xFFFF}}) {
    Bytes bad = block;
    Put16(bad, sfi, len);
    std::string text = Describe(BuildPe(bad));
    EXPECT_TRUE(text.starts_with("Version: 1.2.3.4\r\n")) << len;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9) << len;
  }

  // A key with no terminating NUL inside its block.
  Block root{"VS_VERSION_INFO", Bytes(52), false, 0, {}};
  Put32(root.value, 0, kVsFixedFileInfoSignature);
  Bytes raw = Layout(root, true);
  Bytes odd = raw;
  Add16(odd, 0x0014);  // child: length 20
  Add16(odd, 0);
  Add16(odd, 1);
  for (int i = 0; i < 7; ++i) Add16(odd, 'A');
  Put16(odd, 0, static_cast<uint32_t>(odd.size()));
  VersionInfoReader reader;
  ASSERT_TRUE(ReadFrom(reader, BuildPe(odd)));
  EXPECT_EQ(reader.QueryVersionString("CompanyName"), "");
}

TEST(ExeVersionDamage, NotExecutables) {
  EXPECT_EQ(Describe({}), "");
  EXPECT_EQ(Describe(Bytes(64, 0)), "");
  Bytes zm(200, 0);
  zm[0] = 'Z';
  zm[1] = 'M';
  EXPECT_EQ(Describe(zm), "");
  Bytes le(200, 0);  // a VxD-style LE header is not read
  le[0] = 'M';
  le[1] = 'Z';
  le[0x3C] = 0x80;
  le[0x80] = 'L';
  le[0x81] = 'E';
  EXPECT_EQ(Describe(le), "");
}

// ---------------------------------------------------------------------------

class ExeVersionFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qv-exever-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const Bytes& bytes) {
    fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }
  fs::path dir_;
};

TEST_F(ExeVersionFiles, DescribesFilesOnDisk) {
  std::string exe = Write("WIDGET.EXE", BuildPe(VersionBlock(Standard(), true), true));
  std::string vbx = Write("GRID.VBX", BuildNe(VersionBlock(Standard(), false)));
  EXPECT_EQ(DescribeExecutable(exe), kStandardText);
  EXPECT_EQ(DescribeExecutable(vbx), kStandardText);
  VersionInfoReader reader;
  EXPECT_TRUE(reader.ReadFileVersion(exe));
  EXPECT_EQ(reader.Data().size(), VersionBlock(Standard(), true).size());
  EXPECT_FALSE(reader.ReadModuleVersion(exe));
  EXPECT_TRUE(reader.Data().empty());
}

TEST_F(ExeVersionFiles, InOutFormKeepsTheDescriptionWhenThereIsNoVersion) {
  PeOptions none;
  none.withVersion = false;
  std::string plain = Write("PLAIN.DLL", BuildPe({}, none));
  std::string description = "kept";
  EXPECT_TRUE(DescribeExecutable(plain, description));
  EXPECT_EQ(description, "kept");
  EXPECT_TRUE(DescribeExecutable((dir_ / "MISSING.EXE").string(), description));
  EXPECT_EQ(description, "kept");

  std::string exe = Write("A.EXE", BuildPe(VersionBlock(Standard(), true)));
  EXPECT_TRUE(DescribeExecutable(exe, description));
  EXPECT_EQ(description, kStandardText);
}

TEST_F(ExeVersionFiles, DirectoriesAndFifosAreNotRead) {
  fs::create_directories(dir_ / "DIR.EXE");
  EXPECT_EQ(DescribeExecutable((dir_ / "DIR.EXE").string()), "");
  std::string fifo = (dir_ / "PIPE.DLL").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(DescribeExecutable(fifo), "");  // must not wait for a writer
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(ExeVersionReads, OnlyHeadersTablesAndTheResourceAreRead) {
  // Executables can be huge: the reader must not touch the rest of the file.
  struct CountingSource : MemoryByteSource {
    using MemoryByteSource::MemoryByteSource;
    bool Read(uint64_t offset, void* out, size_t size) override {
      bytes += size;
      return MemoryByteSource::Read(offset, out, size);
    }
    size_t bytes = 0;
  };
  const size_t overlay = 8u << 20;
  for (bool ne : {false, true}) {
    Bytes block = VersionBlock(Standard(), !ne);
    Bytes image = ne ? BuildNe(block) : BuildPe(block, true);
    image.resize(image.size() + overlay, 0xCC);
    CountingSource source(image);
    VersionInfoReader reader;
    ASSERT_TRUE(reader.ReadVersion(source));
    EXPECT_EQ(FormatVersionDescription(reader), kStandardText);
    EXPECT_LT(source.bytes, block.size() + 1024) << (ne ? "NE" : "PE");
  }
}
