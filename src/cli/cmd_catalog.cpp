// quolvane-cli new / list / dump / resave: create, read and rewrite catalog files.
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "catalog/CatalogStream.h"
#include "cli/Cli.h"
#include "i18n/Translator.h"
#include "text/Codepage.h"
#include "ports/ProgressSink.h"

namespace {

// Percentages on the terminal while long reads and writes run.
class TerminalProgress : public IProgressSink {
 public:
  void Begin(const std::string& text) override {
    text_ = text;
    Show(0);
  }
  void SetPercent(int percent) override { Show(percent); }
  void End() override { std::fprintf(stderr, "\r\033[K"); }

 private:
  void Show(int percent) {
    std::fprintf(stderr, "\r%s %d%%", text_.c_str(), percent);
    std::fflush(stderr);
  }
  std::string text_;
};

IProgressSink* Progress() {
  static TerminalProgress terminal;
  return isatty(STDERR_FILENO) ? &terminal : nullptr;
}

void StartTexts() {
  static bool started = false;
  if (!started) InitTranslator("", 0L);
  started = true;
}

CFileItemList Load(const std::string& path) { return LoadCatalogForCli(path, Progress()); }

void Save(CFileItemList& list, const std::string& path) { SaveCatalogForCli(list, path, Progress()); }

nlohmann::json ItemJson(size_t index, const CFileItem& item) {
  nlohmann::json j;
  j["index"] = index;
  j["class"] = item.GetClassName();
  j["type"] = item.type;
  // JSON escapes what it must; bytes of a name that is not UTF-8 show as
  // the replacement character there too.
  j["name"] = DisplayText(item.name);
  j["description"] = DisplayText(item.description);
  j["size"] = item.size;
  j["time"] = item.time;
  j["level"] = item.level;
  j["attributes"] = item.attributes;
  j["isArchive"] = item.isArchive;
  if (item.thumbnail) {
    j["thumbnail"] = {{"width", item.thumbnail->Width()},
                      {"height", item.thumbnail->Height()},
                      {"bpp", item.thumbnail->BitsPerPixel()}};
  } else {
    j["thumbnail"] = nullptr;
  }
  if (const auto* m = dynamic_cast<const CFileItemMedia*>(&item)) {
    j["rootPath"] = DisplayText(m->rootPath);
    j["volumeLabel"] = m->volumeLabel;
    j["fileSystem"] = m->fileSystem;
    j["serialNumber"] = m->serialNumber;
  }
  if (const auto* a = dynamic_cast<const CFileItemAppli*>(&item)) {
    j["installProgram"] = a->installProgram;
    j["appSize"] = a->appSize;
    j["appTime"] = a->appTime;
  }
  return j;
}

struct CatalogArgs {
  std::string catalog, output;
  bool force = false, json = false;
};

CliCommand reg([](CLI::App& app) {
  static CatalogArgs args;

  auto* create = app.add_subcommand("new", "Write an empty catalog");
  create->add_option("catalog", args.catalog, "catalog file to create (.QVD)")->required();
  create->add_flag("--force", args.force, "replace an existing file");
  create->callback([] {
    StartTexts();
    std::error_code ec;
    if (!args.force && std::filesystem::exists(args.catalog, ec))
      throw CliError(args.catalog + ": the file exists already (use --force to replace it)");
    CFileItemList list;
    Save(list, args.catalog);
  });

  auto* list = app.add_subcommand("list", "One line per item: index, type, level and name, separated by TABs");
  list->add_option("catalog", args.catalog, "catalog file (.QVD)")->required();
  list->callback([] {
    StartTexts();
    CFileItemList items = Load(args.catalog);
    std::string out;
    out.reserve(65536 + 4096);
    char number[24];
    const auto append = [&](auto value) {
      const auto end = std::to_chars(number, number + sizeof number, value).ptr;
      out.append(number, end);
    };
    for (size_t i = 0; i < items.size(); ++i) {
      const CFileItem& it = *items[i];
      append(i);
      out += '\t';
      out += TypeLabel(it.type, it.IsApplication() != 0);
      out += '\t';
      append(it.level);
      out += '\t';
      AppendOneLineText(out, it.name);
      out += '\n';
      if (out.size() > 65536) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
      }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    KeepUntilExit(std::move(items));
  });

  auto* dump = app.add_subcommand("dump", "Every field of every item");
  dump->add_option("catalog", args.catalog, "catalog file (.QVD)")->required();
  dump->add_flag("--json", args.json, "JSON output (the one format offered)");
  dump->callback([] {
    StartTexts();
    CFileItemList items = Load(args.catalog);
    // Item by item, so that a large catalog is not held twice.
    std::string out = "{\n  \"fileVersion\": " + std::to_string(items.fileVersion) + ",\n  \"items\": [";
    for (size_t i = 0; i < items.size(); ++i) {
      out += i ? ",\n    " : "\n    ";
      out += ItemJson(i, *items[i]).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      if (out.size() > 65536) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
      }
    }
    out += items.size() ? "\n  ]\n}\n" : "]\n}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    KeepUntilExit(std::move(items));
  });

  auto* recover = app.add_subcommand(
      "recover", "Write the items of a damaged catalog that can be read before the damage as a new catalog");
  recover->add_option("damaged", args.catalog, "damaged catalog file")->required();
  recover->add_option("output", args.output, "catalog file to write")->required();
  recover->callback([] {
    StartTexts();
    CFileItemList kept;
    CatalogRecovery r;
    try {
      r = RecoverCatalogFile(kept, args.catalog);
    } catch (const CCatalogException& e) {
      FailCatalog(args.catalog, e);
    }
    if (r.tooRecent) throw CliError(args.catalog + ": " + Translate("IDS_TOORECENTFILE"));
    Save(kept, args.output);
    if (r.damaged) {
      // The block where reading failed: compressed data cannot say which byte.
      const std::string where = r.damagedBlock ? "block " + std::to_string(r.damagedBlock) + ", " : std::string();
      std::printf("%s: damaged at byte %llu (%s%s); kept %zu of %u items in %s\n", args.catalog.c_str(),
                  static_cast<unsigned long long>(r.damageOffset), where.c_str(), r.reason.c_str(), r.kept,
                  r.announced, args.output.c_str());
    }
    else
      std::printf("%s: not damaged; kept all %zu items in %s\n", args.catalog.c_str(), r.kept, args.output.c_str());
  });

  auto* resave = app.add_subcommand("resave", "Read a catalog of any version and write it in the current one");
  resave->add_option("input", args.catalog, "catalog file to read")->required();
  resave->add_option("output", args.output, "catalog file to write")->required();
  resave->callback([] {
    StartTexts();
    CFileItemList items = Load(args.catalog);
    Save(items, args.output);
    KeepUntilExit(std::move(items));
  });
});

}  // namespace
