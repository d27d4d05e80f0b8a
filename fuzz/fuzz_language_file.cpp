// Language files come from users; reading one must never crash, whatever
// its bytes. The conversions it relies on are checked on the same input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "i18n/Translator.h"
#include "text/Codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  CLanguageTable table = ParseLanguageFile(bytes);
  for (const auto& entry : table.entries) {
    // Texts of a language file are formatted with arguments by their users.
    (void)FormatInserts(entry.text, {"text", 42, -1, "é"});
    if (SanitizeUtf8(entry.key) != entry.key || SanitizeUtf8(entry.text) != entry.text) std::abort();
  }

  // Windows-1252 survives UTF-8 and back; sanitised text is valid UTF-8.
  const std::string utf8 = Cp1252ToUtf8(bytes);
  auto back = Utf8ToCp1252(utf8);
  if (!back || *back != bytes) std::abort();
  const std::string clean = SanitizeUtf8(bytes);
  if (SanitizeUtf8(clean) != clean) std::abort();
  if (Utf16ToUtf8(Utf8ToUtf16(clean)) != clean) std::abort();
  if (Utf8Upper(clean).size() != clean.size() || Utf8Lower(clean).size() != clean.size()) std::abort();
  (void)Utf8ToCp1252Lossy(bytes);
  return 0;
}
