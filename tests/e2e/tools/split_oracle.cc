// Splits many command lines both with the system's CommandLineToArgvW and with the
// launcher's own splitter, and reports each line on which the two differ.
//
//   split_oracle.exe [random-lines]
//
// A fixed set of tricky lines, then `random-lines` (default 20000) lines drawn from a
// small alphabet of blanks, quotes, backslashes and letters. Prints a summary line
// "<lines> lines, <n> differ" and exits with 0 only when none differ.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "launcher/split_command_line.h"

namespace {

const wchar_t* const kFixedLines[] = {
    L"a", L"\"a b\" c", L"\"a b\"c d", L"a\"b c\" d", L" a b", L"\ta\tb\t",
    L"p \"\"", L"p \"\" \"\"", L"p \"\"\"\"", L"p \"\"\"\"\"\"", L"p \"a\"\"b\"",
    L"p \"a\"\" b\"", L"p a\"\"b", L"p \\\"", L"p \\\\\"a b\"", L"p \\\\\\\"a",
    L"p a\\b\\\\c", L"p a\\\\", L"p \"a\\\\\"", L"p \\\"\"\"", L"p \"\\\"\"\"",
    L"\"unclosed program", L"\"\" a", L"p \"unclosed arg", L"p /e \"C:\\x y\\\"",
    L"p \xe9\x4e2d \"\xd83d\xde00 x\"",
};

std::wstring Escaped(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += L'\\';
      out += c;
    } else if (c >= 0x20 && c < 0x7f) {
      out += c;
    } else {
      wchar_t code[8];
      swprintf(code, 8, L"\\u%04x", unsigned(c));
      out += code;
    }
  }
  return L"\"" + out + L"\"";
}

std::wstring List(const std::vector<std::wstring>& items) {
  std::wstring out = L"[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? L"," : L"") + Escaped(items[i]);
  return out + L"]";
}

// Returns true when both splitters agree on `line`; prints the line when they do not.
bool Agree(const std::wstring& line) {
  int count = 0;
  LPWSTR* system = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> expected;
  for (int i = 0; system != nullptr && i < count; ++i) expected.push_back(system[i]);
  LocalFree(system);
  std::vector<std::wstring> actual;
  for (const std::u16string& argument :
       launcher::SplitCommandLine(std::u16string(line.begin(), line.end())))
    actual.emplace_back(argument.begin(), argument.end());
  if (actual == expected) return true;
  wprintf(L"line %ls\n  system   %ls\n  launcher %ls\n", Escaped(line).c_str(),
          List(expected).c_str(), List(actual).c_str());
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const unsigned random = argc > 1 ? unsigned(wcstoul(argv[1], nullptr, 10)) : 20000;
  unsigned lines = 0, differ = 0;
  for (const wchar_t* line : kFixedLines) {
    ++lines;
    if (!Agree(line)) ++differ;
  }
  // An empty line gives the system's own program path as element 0; it is left out.
  const wchar_t alphabet[] = L"ab \t\"\"\\\\\xe9";
  unsigned state = 20261208;
  for (unsigned n = 0; n < random; ++n) {
    state = state * 1103515245u + 12345u;
    std::wstring line;
    for (unsigned length = 1 + (state >> 16) % 14; line.size() < length;) {
      state = state * 1103515245u + 12345u;
      line += alphabet[(state >> 16) % (sizeof alphabet / sizeof *alphabet - 1)];
    }
    ++lines;
    if (!Agree(line)) ++differ;
  }
  wprintf(L"%u lines, %u differ\n", lines, differ);
  return differ == 0 ? 0 : 1;
}
