// Applis.dat and the description file readers: any bytes give a dictionary
// framed by the built-in rules and bounded descriptions; a compressed
// description never expands past its limit.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cabinet/Szdd.h"
#include "scan/Applications.h"
#include "scan/DescriptionFiles.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CApplicationsDictionary dict;
  dict.LoadFromText(bytes);
  Check(dict.entries.size() >= 5);
  Check(dict.entries.front().descriptionFile == "File_id.diz");
  Check(dict.entries.back().descriptionText == "setup.lst");
  for (size_t i = 3; i + 2 < dict.entries.size(); ++i) {
    const AppSignature& s = dict.entries[i];
    Check(s.descriptionFile != kAppRuleMarker);
    for (const std::string& r : s.requiredFiles) Check(!r.empty() && r.find(',') == std::string::npos);
  }
  for (const std::string& line : SplitApplisLines(bytes)) Check(line.size() <= 255);

  DirTxtDescription(bytes);
  SetupFileValue(bytes, "[Startup]", "AppName");
  Check(DescriptionText(bytes).size() <= 3 * size);

  static const std::string path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-fuzz-lz-XXXXXX").string();
    Check(mkstemp(pattern.data()) >= 0);
    return pattern;
  }();
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(size));
  std::string out;
  ReadLzFilePrefix(path, kDescriptionBytes, out);
  Check(out.size() <= kDescriptionBytes);
  return 0;
}
