// Application detection: the dictionary of application signatures (built-in
// rules and Applis.dat) and the pass that turns matching directories and
// archives of a medium into application items.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CFileItemAppli;
class CFileItemList;
class CScanProgress;

// descriptionFile holding this marker selects the rule named in descriptionText.
inline constexpr const char* kAppRuleMarker = "########.###";

struct AppSignature {
  std::vector<std::string> requiredFiles;  // direct children that must all exist
  std::string descriptionFile;             // child whose text describes; empty for none
  std::string descriptionText;             // the description, or the rule name after the marker
  std::string installProgram;              // child that installs; empty: searched for

  bool operator==(const AppSignature&) const = default;
};

// One line of Applis.dat, as read (at most 255 characters, no line end):
// an entry when its first character that is no blank or control character
// is "#"; control characters and every "#" are dropped; ";" separates the
// required files (split at ","), the description file, the description and
// the installation program. Nothing for a line that is no entry.
std::optional<AppSignature> ParseApplisLine(std::string_view line);
// The lines of an Applis.dat image, read in pieces of at most 255
// characters (a longer line goes on as the next one).
std::vector<std::string> SplitApplisLines(std::string_view data);

class CApplicationsDictionary {
 public:
  std::vector<AppSignature> entries;  // in matching order

  // Empties the dictionary and fills it: File_id.diz, File_id.di_ and
  // dir.txt rules, the entries of the text, then setup.ini and setup.lst.
  void LoadFromText(std::string_view applisDat);
  // The same from a file; when it cannot be read, the built-in rules only
  // and false.
  bool Load(const std::string& path);
  // Load from ApplisDatPath() (beside the program, installed data, source data).
  bool LoadDefault();
};

// The dictionary of the process.
CApplicationsDictionary& Applications();

// MatchApplication: tries the signatures in order on the directory or
// archive item at index and builds the application item of the first that
// matches (the item itself is left alone); nothing when none matches. A
// description file the system cannot read rejects the signature and is
// reported to logUnreadable ("path : reason") when given.
using UnreadableLog = std::function<void(const std::string& line)>;
std::unique_ptr<CFileItemAppli> MatchApplication(const CApplicationsDictionary& dictionary,
                                                 const CFileItemList& list, size_t index,
                                                 const UnreadableLog& logUnreadable = {});

// SearchApplications: the application pass over the subtree of the media
// item at mediaIndex; each matching directory or archive is replaced by its
// application item at the same index, and the pass goes on into its
// children. Progress and the stop question go through progress (may be
// null); description files that cannot be read are logged there and in the
// media's description, which holds the scan's log. Returns true when an application was found; stopped tells whether
// the user stopped the pass (then false is returned).
bool SearchApplications(const CApplicationsDictionary& dictionary, CFileItemList& list, size_t mediaIndex,
                        bool& stopped, CScanProgress* progress = nullptr);

// The application pass as the New media and search commands run it: the
// process dictionary (loaded from Applis.dat on first use) over the media at
// mediaIndex. Returns true when the user stopped it.
bool RunApplicationPass(CFileItemList& catalog, size_t mediaIndex, CScanProgress& progress);
