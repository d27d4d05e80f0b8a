#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "i18n/Translator.h"
#include "text/Codepage.h"

namespace {

std::vector<const CMessagePair*> Rows(const CMessagePair* table) {
  std::vector<const CMessagePair*> rows;
  for (const CMessagePair* p = table; p->key; ++p) rows.push_back(p);
  return rows;
}

CMessageTranslator Builtin(uint32_t lcid) {
  CMessageTranslator t;
  t.AddLanguage(LANG_FRENCH, g_FrenchMessages);
  t.AddLanguage(LANG_ENGLISH, g_EnglishMessages);
  t.current = lcid;
  return t;
}

// The conversions of a text in order: inserts ("%1!s!") and printf ones ("%d").
std::vector<std::string> Conversions(const std::string& text) {
  std::vector<std::string> out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    size_t j = i + 1;
    if (j < text.size() && text[j] >= '1' && text[j] <= '9') {
      while (j < text.size() && isdigit(static_cast<unsigned char>(text[j]))) ++j;
      if (j < text.size() && text[j] == '!') j = text.find('!', j + 1) + 1;
    } else {
      while (j < text.size() && std::string("-+ #0123456789.").find(text[j]) != std::string::npos) ++j;
      ++j;
    }
    out.push_back(text.substr(i, j - i));
    i = j - 1;
  }
  return out;
}

}  // namespace

TEST(MessageTables, SameKeysInSameOrderWithTheKnownDuplicates) {
  auto fr = Rows(g_FrenchMessages);
  auto en = Rows(g_EnglishMessages);
  ASSERT_EQ(fr.size(), en.size());
  std::map<std::string, int> seen;
  for (size_t i = 0; i < fr.size(); ++i) {
    ASSERT_STREQ(fr[i]->key, en[i]->key) << "row " << i;
    ASSERT_NE(fr[i]->text, nullptr);
    ASSERT_NE(en[i]->text, nullptr);
    EXPECT_NE(std::string(fr[i]->text), "") << fr[i]->key;
    EXPECT_NE(std::string(en[i]->text), "") << en[i]->key;
    ++seen[fr[i]->key];
    // Both texts must take the same arguments in the same order, and be
    // writable to a Windows-1252 language file.
    EXPECT_EQ(Conversions(fr[i]->text), Conversions(en[i]->text)) << fr[i]->key;
    EXPECT_TRUE(Utf8ToCp1252(fr[i]->text).has_value()) << fr[i]->key;
    EXPECT_TRUE(Utf8ToCp1252(en[i]->text).has_value()) << en[i]->key;
  }
  std::set<std::string> twice;
  for (auto& [key, n] : seen)
    if (n > 1) twice.insert(key);
  EXPECT_EQ(twice, (std::set<std::string>{"$$Do not search for applications", "$$Do not uncompress files",
                                          "$$File description"}));
  // Landmarks of the order: first, ID3 runs, last of the resource keys.
  EXPECT_STREQ(en.front()->key, "IDR_MAINFRAME");
  EXPECT_STREQ(en[1]->key, "IDS_SELECTED");
  size_t tit2 = 0, tit2L = 0, stop = 0, firstText = 0;
  for (size_t i = 0; i < en.size(); ++i) {
    std::string k = en[i]->key;
    if (k == "IDS_MP3_TIT2") tit2 = i;
    if (k == "IDS_MP3_TIT2_L") tit2L = i;
    if (k == "IDS_STOP") stop = i;
    if (!firstText && k.rfind("$$", 0) == 0) firstText = i;
  }
  EXPECT_EQ(tit2L - tit2, 48u);
  EXPECT_EQ(std::string(en[firstText]->key), "$$Directory");
  EXPECT_LT(stop, firstText);
  EXPECT_EQ(firstText, stop + 1);
  EXPECT_STREQ(en[en.size() - 3]->key, "$$File");
}

TEST(MessageTables, QuotedEnglishTexts) {
  auto t = Builtin(LANG_ENGLISH);
  const std::map<std::string, std::string> quoted = {
      {"IDS_TOORECENTFILE", "Cannot read file. The file is younger than Quolvane !"},
      {"IDS_READY", "Ready"},
      {"IDS_SELECTED", "Currently selected: "},
      {"IDS_DELMEDIA", "Do you really want to delete %1!s! ?"},
      {"IDS_CANNOTOPENFILE2", "The file %1!s! cannot be opened !\nError %2!s!"},
      {"IDS_MAINCHANGEMEDIA", "Put the %1!s!\n\t%2!s!\nin its drive"},
      {"IDS_PROPSERIAL", "Serial number\t%1!x!"},
      {"IDS_PICTDESCR", "Picture size %d x %d pixels\r\n%d bits per pixel or\r\n%.f colors\r\n%d Kb in memory"},
      {"IDS_SIZEKBYTES", "%.1f Kb"},
      {"IDS_FDIERROR_CREATE", "FDICreate() failed: code %d [%s]"},
      {"IDS_REFRESHWARN",
       "Warning :\nThe media you want to refresh is not ther original one.\nDo you still want to continue ?"},
      {"IDS_CANNOTFINDUNZIP",
       "Cannot find %1!s!. The Dll must be in the application directory, the path, the Windows directory or "
       "the Windows System directory.\n"},
      {"IDS_MP3_TIT2", "Title"},
      {"IDS_MP3_USLT_L", "Unsychronized lyric/text"},
      {"IDS_MP3_FREQ_L", "Sampling frequency"},
      {"IDS_FILE_FILTER_DIC", "Quolvane dictionnary"},
      {"IDS_FILE_FILTERALL", "All files"},
      {"$$Compact disk", "CD-ROM"},
      {"$$Digital Versatile Disk (DVD)", "Digital Versatile Disk (DVD-ROM)"},
      {"$$Ko", "Kb"},
      {"$$Config", "Options"},
      {"$$Save french messages", "Save French messages"},
      {"$$Save english messages", "Save English messages"},
      {"$$Search in ", "Search in "},
      {"$$&Refresh", "&Refresh"},
  };
  for (auto& [key, text] : quoted) EXPECT_EQ(t.Lookup(key), text) << key;
}

TEST(MessageTables, FrenchTexts) {
  auto t = Builtin(LANG_FRENCH);
  EXPECT_EQ(t.Lookup("IDS_READY"), "Prèt");
  EXPECT_EQ(t.Lookup("IDS_SELECTED"), "Selectionné");
  EXPECT_EQ(t.Lookup("$$System dependant"), "Selon la langue de Windows");
  EXPECT_EQ(t.Lookup("$$Your choice will be used at the next launch."),
            "Votre choix sera activé au prochain lancement.");
  EXPECT_EQ(t.Lookup("$$Config"), "Préférences");
  EXPECT_EQ(t.Lookup("$$Ko"), "Ko");
  EXPECT_EQ(t.Lookup("IDS_FILE_FILTER_DIC"), "Dictionnaire Quolvane");
  EXPECT_EQ(t.Lookup("IDS_FILE_FILTERALL"), "Tous");
  // First occurrence wins; the second French text is never shown.
  EXPECT_EQ(t.Lookup("$$Do not search for applications"), "Ne pas rechercher d'applications");
  t.current = LANG_ENGLISH;
  EXPECT_EQ(t.Lookup("$$Do not search for applications"), "Do not search for applications");
}

TEST(MessageTables, PropertiesYesNoAreTranslated) {
  // The properties listing shows these; without them the user would read the key.
  EXPECT_EQ(Builtin(LANG_ENGLISH).Translate("IDS_YES"), "Yes");
  EXPECT_EQ(Builtin(LANG_FRENCH).Translate("IDS_NO"), "Non");
}

TEST(MessageTables, ContextMenuLabelsAreTheTablesTexts) {
  // The English table's own texts for these entries, odd as they read; the
  // French ones name their commands.
  auto t = Builtin(LANG_ENGLISH);
  EXPECT_EQ(t.Lookup("IDS_INSTALL"), "Modify the filters");
  EXPECT_EQ(t.Lookup("IDS_DESCR"), "Copy the current media");
  EXPECT_EQ(t.Lookup("IDS_MEDIA_NEW_OPT"), "Paste the last copied media");
  EXPECT_EQ(t.Lookup("IDS_FOLDER_NEW_OPT"), "Creates a new user folder");
  auto f = Builtin(LANG_FRENCH);
  EXPECT_EQ(f.Lookup("IDS_INSTALL"), "Installer");
  // The save question has its own key in both tables.
  EXPECT_EQ(FormatInserts(t.Lookup("IDS_SAVECHANGES"), {"a.qvd"}), "Save changes to a.qvd\u00A0?");
  EXPECT_EQ(FormatInserts(f.Lookup("IDS_SAVECHANGES"), {"a.qvd"}), "Enregistrer les modifications apportées à a.qvd\u00A0?");
}
