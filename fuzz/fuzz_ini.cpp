// The settings file reader: any bytes parse, serialise back unchanged, and
// survive reading and writing values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  CIniFile ini;
  ini.Parse(text);
  // Lines come back as they were; only a missing final line end is added.
  std::string again = ini.Serialize();
  std::string expected = text;
  if (!expected.empty() && expected.back() != '\n') expected += '\n';
  if (again != expected) std::abort();

  ConfigSettings config = ReadConfig(ini);
  (void)ToDescribeSettings(config);
  (void)ReadRecentFiles(ini);
  for (const std::string& key : ini.Keys("Config")) (void)ini.GetInt("Config", key, 7);
  WriteConfig(ini, config, &config.varnFile);
  ini.Set("Medias", "Item 0", "CD,x,/y");
  ini.Remove("Config", "LoadLastUsed");
  CIniFile third;
  third.Parse(ini.Serialize());
  if (third.GetString("Medias", "Item 0") != "CD,x,/y") std::abort();
  return 0;
}
