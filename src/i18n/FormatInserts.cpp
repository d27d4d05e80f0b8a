// The insert syntax of the Windows message formatter, which the message
// tables use for texts whose arguments are numbered: "%1", "%2!d!",
// "%1!-10s!", "%3!08x!".
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "i18n/Translator.h"
#include "text/Codepage.h"

namespace {

// Number of UTF-8 characters in s (continuation bytes are not counted).
size_t CharCount(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// The first max characters of s.
std::string CharPrefix(const std::string& s, size_t max) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (chars == max) return s.substr(0, i);
      ++chars;
    }
  }
  return s;
}

std::string Utf8Of(long long cp) {
  std::string out;
  AppendUtf8(out, cp < 0 || cp > 0x10FFFF ? char32_t{0xFFFD} : static_cast<char32_t>(cp));
  return out;
}

// Widths beyond this are clamped: no message needs them, and a hostile
// language file must not make a formatter allocate without bound.
constexpr long kMaxWidth = 1024;

struct Conversion {
  std::string flags;
  long width = -1;
  long precision = -1;
  bool wide64 = false;  // "ll", "I64", "j": the argument is 64-bit
  char conversion = 's';
};

// Parses a printf conversion ("-10s", "08lx", "*.*s"); '*' takes its
// value from the next argument, as the Windows formatter does. False when
// the text is not a conversion or an argument is missing.
bool ParseConversion(const std::string& text, const std::vector<MsgArg>& args, size_t& nextArg, Conversion& conv) {
  size_t i = 0;
  auto star = [&](long& value) {
    if (nextArg >= args.size()) return false;
    const MsgArg& a = args[nextArg++];
    value = a.isText ? std::atol(a.text.c_str()) : static_cast<long>(a.number);
    return true;
  };
  auto digits = [&](long& value) {
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (value <= kMaxWidth) value = value * 10 + (text[i] - '0');
      ++i;
    }
  };
  while (i < text.size() && std::string_view("-+ #0").find(text[i]) != std::string_view::npos)
    conv.flags.push_back(text[i++]);
  if (i < text.size() && text[i] == '*') {
    ++i;
    if (!star(conv.width)) return false;
    if (conv.width < 0) {
      conv.flags.push_back('-');
      conv.width = -conv.width;
    }
  } else if (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    digits(conv.width);
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (i < text.size() && text[i] == '*') {
      ++i;
      if (!star(conv.precision)) return false;
    } else {
      digits(conv.precision);
    }
  }
  // Length modifiers: only whether the value is 64-bit matters here.
  while (i < text.size()) {
    if (text.compare(i, 3, "I64") == 0) {
      conv.wide64 = true;
      i += 3;
    } else if (text.compare(i, 3, "I32") == 0) {
      i += 3;
    } else if (text.compare(i, 2, "ll") == 0) {
      conv.wide64 = true;
      i += 2;
    } else if (text[i] == 'j' || text[i] == 'q') {
      conv.wide64 = true;
      ++i;
    } else if (std::string_view("hlLwzt").find(text[i]) != std::string_view::npos) {
      ++i;
    } else {
      break;
    }
  }
  if (i + 1 != text.size()) return false;
  conv.conversion = text[i];
  conv.width = std::min(conv.width, kMaxWidth);
  conv.precision = std::min(conv.precision, kMaxWidth);
  return true;
}

std::string Pad(std::string s, const Conversion& conv) {
  if (conv.width < 0) return s;
  const size_t have = CharCount(s);
  const auto want = static_cast<size_t>(conv.width);
  if (have >= want) return s;
  const std::string fill(want - have, ' ');
  return conv.flags.find('-') != std::string::npos ? s + fill : fill + s;
}

std::string FormatNumber(long long value, const Conversion& conv) {
  std::string fmt = "%" + conv.flags;
  if (conv.width >= 0) fmt += std::to_string(conv.width);
  // Appended piecewise: "." + std::to_string(...) trips GCC 12's -Wrestrict at -O3.
  if (conv.precision >= 0) fmt.append(".").append(std::to_string(conv.precision));
  char buf[kMaxWidth + 64];
  const char c = conv.conversion;
  if (c == 'd' || c == 'i') {
    // A 32-bit insert prints the 32-bit value, as the argument would be on Windows.
    if (!conv.wide64) value = static_cast<int32_t>(value);
    fmt += "lld";
    std::snprintf(buf, sizeof buf, fmt.c_str(), value);
  } else if (c == 'u' || c == 'x' || c == 'X' || c == 'o') {
    unsigned long long u = static_cast<unsigned long long>(value);
    if (!conv.wide64) u = static_cast<uint32_t>(u);
    fmt += "ll";
    fmt += c;
    std::snprintf(buf, sizeof buf, fmt.c_str(), u);
  } else if (c == 'e' || c == 'E' || c == 'f' || c == 'F' || c == 'g' || c == 'G' || c == 'a' || c == 'A') {
    fmt += c;
    std::snprintf(buf, sizeof buf, fmt.c_str(), static_cast<double>(value));
  } else if (c == 'c' || c == 'C') {
    return Pad(Utf8Of(value), conv);
  } else {
    return Pad(std::to_string(value), conv);
  }
  return buf;
}

std::string FormatArg(const MsgArg& arg, const Conversion& conv) {
  if (!arg.isText) return FormatNumber(arg.number, conv);
  if (conv.conversion == 'c' || conv.conversion == 'C') return Pad(CharPrefix(arg.text, 1), conv);
  std::string text = arg.text;
  if (conv.precision >= 0 && (conv.conversion == 's' || conv.conversion == 'S'))
    text = CharPrefix(text, static_cast<size_t>(conv.precision));
  return Pad(std::move(text), conv);
}

}  // namespace

std::string FormatInserts(const std::string& format, const std::vector<MsgArg>& args) {
  std::string out;
  out.reserve(format.size() + 32);
  const size_t n = format.size();
  size_t i = 0;
  while (i < n) {
    const char c = format[i];
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= n) {  // a lone '%' at the end stays
      out.push_back('%');
      break;
    }
    const char d = format[i + 1];
    if (d >= '1' && d <= '9') {
      // Insert number 1 to 99.
      size_t j = i + 2;
      size_t number = static_cast<size_t>(d - '0');
      if (j < n && format[j] >= '0' && format[j] <= '9') number = number * 10 + static_cast<size_t>(format[j++] - '0');
      Conversion conv;
      size_t nextArg = number;  // '*' reads the arguments after the insert's own
      bool ok = number <= args.size();
      if (j < n && format[j] == '!') {
        const size_t close = format.find('!', j + 1);
        if (close == std::string::npos) {
          ok = false;
          j = n;
        } else {
          ok = ok && ParseConversion(format.substr(j + 1, close - j - 1), args, nextArg, conv);
          j = close + 1;
        }
      }
      if (ok)
        out += FormatArg(args[number - 1], conv);
      else
        out.append(format, i, j - i);  // no such argument: leave the insert as written
      i = j;
      continue;
    }
    switch (d) {
      case '0':
        return out;
      case 'n':
        out += "\r\n";
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'b':
        out.push_back(' ');
        break;
      default:  // "%%", "%!", "%.", "% " and any other character: that character
        out.push_back(d);
        break;
    }
    i += 2;
  }
  return out;
}
