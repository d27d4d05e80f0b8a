// quolvane-cli thumbnail: writes the thumbnail of a catalog item as a BMP file.
#include <cstdio>
#include <string>

#include "catalog/CatalogStream.h"
#include "cli/Cli.h"
#include "i18n/Translator.h"
#include "picture/Bitmap.h"

namespace {

struct ThumbnailArgs {
  std::string catalog;
  size_t index = 0;
  std::string output;
};

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw CliError("cannot write " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) {
    std::remove(path.c_str());
    throw CliError("cannot write " + path);
  }
}

CliCommand reg([](CLI::App& app) {
  static ThumbnailArgs args;
  auto* cmd = app.add_subcommand("thumbnail", "Write the thumbnail of a catalog item as a BMP file");
  cmd->add_option("catalog", args.catalog, "catalog file (.QVD)")->required();
  cmd->add_option("index", args.index, "item index, as `list` prints it")->required();
  cmd->add_option("output", args.output, "BMP file to write")->required();
  cmd->callback([] {
    InitTranslator("", 0L);
    const CFileItemList list = LoadCatalogForCli(args.catalog);
    if (args.index >= list.size())
      throw CliError("no item " + std::to_string(args.index) + " in " + args.catalog + " (it has " +
                     std::to_string(list.size()) + " items)");
    const CFileItem& item = *list[args.index];
    if (!item.thumbnail || item.thumbnail->IsEmpty())
      throw CliError("item " + std::to_string(args.index) + " (" + item.name + ") has no thumbnail");
    WriteFile(args.output, PLEncodeBmp(*item.thumbnail));
  });
});

}  // namespace
