// quolvane-cli messages: write the built-in message tables as language
// files and look keys up in a table or a language file.
#include <iostream>
#include <string>

#include "app/Settings.h"
#include "cli/Cli.h"
#include "i18n/Translator.h"

namespace {

uint32_t BuiltinLanguage(const std::string& name) {
  if (name == "FR") return LANG_FRENCH;
  if (name == "US") return LANG_ENGLISH;
  return LANG_NONE;
}

CMessageTranslator BuiltinTables() {
  CMessageTranslator t;
  t.AddLanguage(LANG_FRENCH, g_FrenchMessages);
  t.AddLanguage(LANG_ENGLISH, g_EnglishMessages);
  return t;
}

struct MessagesArgs {
  std::string saveLanguage, saveFile;
  std::string key, lang;
};

CliCommand reg([](CLI::App& app) {
  static MessagesArgs args;
  auto* messages = app.add_subcommand("messages", "Message tables and language files");
  messages->require_subcommand(1);

  auto* save = messages->add_subcommand("save", "Write a built-in table as a language file (Windows-1252, CR LF)");
  save->add_option("language", args.saveLanguage, "FR or US")->required();
  save->add_option("file", args.saveFile, "language file to write")->required();
  save->callback([] {
    const uint32_t lcid = BuiltinLanguage(args.saveLanguage);
    if (lcid == LANG_NONE) throw CliError("unknown language \"" + args.saveLanguage + "\" (use FR or US)");
    std::string error;
    if (!BuiltinTables().SaveLanguageFile(args.saveFile, lcid, &error)) throw CliError("cannot write " + error);
  });

  auto* lookup = messages->add_subcommand("lookup", "Print the text of a message key (an empty line when missing)");
  lookup->add_option("key", args.key, "message key, such as IDS_READY or \"$$&File\"")->required();
  lookup->add_option("--lang", args.lang, "FR, US or a language file (default: the settings' language, else the user's)");
  lookup->callback([] {
    if (args.lang.empty()) {
      // The language the program would start in: from the settings when
      // given, else the user's locale.
      ConfigSettings config;
      if (const std::string& path = GlobalCliOptions().settingsFile; !path.empty()) {
        CIniFile ini;
        ini.Load(path);  // a missing file gives the defaults, as at start-up
        config = ReadConfig(ini);
      }
      if (!InitTranslator(config.langFile, config.language))
        std::cerr << "quolvane-cli: cannot read language file " << config.langFile << "; built-in tables used\n";
      std::cout << Lookup(args.key) << "\n";
      return;
    }
    CMessageTranslator t = BuiltinTables();
    if (uint32_t lcid = BuiltinLanguage(args.lang); lcid != LANG_NONE) {
      t.current = lcid;
    } else {
      std::string error;
      if (!t.LoadLanguageFile(args.lang, &error)) throw CliError("cannot read language file " + error);
    }
    std::cout << t.Lookup(args.key) << "\n";
  });
});

}  // namespace
