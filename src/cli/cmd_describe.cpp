// quolvane-cli describe: what a scan would store as the description (and
// thumbnail) of each file given.
#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "catalog/FileItemList.h"
#include "cli/Cli.h"
#include "describe/Describe.h"
#include "describe/FileAccess.h"
#include "i18n/Translator.h"
#include "ports/Paths.h"

namespace {

// The scan's side of a description of files named on the command line.
class CliDescribeHost : public IDescribeHost {
 public:
  explicit CliDescribeHost(std::string path) : path_(std::move(path)) {}
  std::string PhysicalPath(const CFileItemList&, size_t) override { return path_; }
  void LogScanError(const std::string& line) override { std::cerr << Translate("IDS_ERROR") << " : " << line << "\n"; }

 private:
  std::string path_;
};

struct DescribeArgs {
  std::vector<std::string> files;
  bool json = false;
};

struct Result {
  std::string path;
  bool described = false;
  std::string description;
  const PLBitmap* thumbnail = nullptr;
};

void PrintText(const Result& r) {
  std::cout << "== " << r.path << "\n";
  if (!r.described) {
    std::cout << "(not described)\n";
    return;
  }
  std::string text = r.description;
  // Descriptions keep CR LF; a terminal wants LF.
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  std::cout << text;
  if (!text.empty() && text.back() != '\n') std::cout << "\n";
  if (r.thumbnail)
    std::cout << "thumbnail: " << r.thumbnail->Width() << " x " << r.thumbnail->Height() << ", "
              << r.thumbnail->BitsPerPixel() << " bpp\n";
}

nlohmann::json ToJson(const Result& r) {
  nlohmann::json j;
  j["path"] = r.path;
  j["described"] = r.described;
  j["description"] = r.description;
  if (r.thumbnail)
    j["thumbnail"] = {{"width", r.thumbnail->Width()},
                      {"height", r.thumbnail->Height()},
                      {"bpp", r.thumbnail->BitsPerPixel()}};
  else
    j["thumbnail"] = nullptr;
  return j;
}

DescribeSettings LoadSettings() {
  CIniFile ini;
  ini.Load(SettingsFilePath(GlobalCliOptions().settingsFile));  // a missing file gives the defaults
  ConfigSettings config = ReadConfig(ini);
  InitTranslator(config.langFile, config.language);
  return ToDescribeSettings(config);
}

CliCommand reg([](CLI::App& app) {
  static DescribeArgs args;
  auto* cmd = app.add_subcommand("describe",
                                 "Print what a scan stores for each file: its description and thumbnail size");
  cmd->add_option("files", args.files, "files to describe")->required();
  cmd->add_flag("--json", args.json, "print a JSON array of {path, described, description, thumbnail}");
  cmd->callback([] {
    const DescribeSettings settings = LoadSettings();
    nlohmann::json all = nlohmann::json::array();
    int failures = 0;
    for (const std::string& path : args.files) {
      struct stat st {};
      if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::cerr << "quolvane-cli: " << path << ": not a readable file\n";
        ++failures;
        continue;
      }
      // Nothing is shown for a file that cannot be read: a description
      // would be made up.
      if (auto reason = UnreadableReason(path)) {
        std::cerr << "quolvane-cli: " << path << ": " << *reason << "\n";
        ++failures;
        continue;
      }
      CFileItemList list;
      auto item = std::make_unique<CFileItem>();
      item->type = ITEM_FILE;
      item->name = std::filesystem::path(path).filename().string();
      item->size = st.st_size > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(st.st_size);
      item->time = static_cast<uint32_t>(st.st_mtime);
      item->level = 0;
      list.items.push_back(std::move(item));
      CliDescribeHost host(path);

      Result r;
      r.path = path;
      r.described = DescribeFile(list, 0, settings, host) != 0;
      r.description = list[0]->description;
      r.thumbnail = list[0]->thumbnail.get();
      if (args.json)
        all.push_back(ToJson(r));
      else
        PrintText(r);
    }
    if (args.json) std::cout << all.dump(2) << "\n";
    if (failures) throw CliError(std::to_string(failures) + " file(s) could not be described", 1);
  });
});

}  // namespace
