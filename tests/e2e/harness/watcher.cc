// Plays the person in front of the screen for end-to-end tests: runs a
// command line, records each message box that its process tree shows,
// presses the box's default button, and reports how the command ended.
//
//   watcher.exe <report-file> <timeout-ms> -- <command line>
//
// The command line is the rest of our own command line after " -- ",
// unchanged. The report gets one JSON object per line, in UTF-8:
//   {"event":"start","command_line":"..."}
//   {"event":"box","caption":"...","text":"...","icon":"error","buttons":["OK"]}
//   {"event":"exit","code":1603}      or      {"event":"timeout"}
//   {"event":"error","call":"CreateProcessW","code":2}
// Exit code: 0 when the command ran, 2 on a usage error, 3 when the command
// could not be started.
//
// With WATCHER_HOLD_DIR naming a folder, each box stays up until someone has
// looked at it: the watcher writes box-<n>.json there (the box event plus
// "rect":[left,top,right,bottom], screen coordinates), waits for
// box-<n>.done (at most 30 s), and only then presses the button. The time
// spent waiting does not count against <timeout-ms>.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- our own command line ----------------------------------------------

const wchar_t* SkipBlanks(const wchar_t* p) {
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

// The program name follows its own rule: quoted up to the next quote,
// without escapes.
const wchar_t* SkipProgramName(const wchar_t* p) {
  if (*p == L'"') {
    const wchar_t* close = wcschr(p + 1, L'"');
    return close ? close + 1 : p + wcslen(p);
  }
  while (*p && *p != L' ' && *p != L'\t') ++p;
  return p;
}

// Reads one argument with CommandLineToArgvW's rules and returns where it
// ends, so that the rest of the line can be passed on untouched.
const wchar_t* NextArgument(const wchar_t* p, std::wstring& out) {
  out.clear();
  bool quoted = false;
  while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
    if (*p == L'\\') {
      size_t slashes = 0;
      while (p[slashes] == L'\\') ++slashes;
      if (p[slashes] != L'"') {
        out.append(slashes, L'\\');
        p += slashes;
      } else if (slashes % 2 == 0) {
        out.append(slashes / 2, L'\\');  // the quote opens or closes
        p += slashes;
      } else {
        out.append(slashes / 2, L'\\');  // the quote is a literal one
        out += L'"';
        p += slashes + 1;
      }
    } else if (*p == L'"') {
      if (quoted && p[1] == L'"') {
        out += L'"';
        ++p;
      } else {
        quoted = !quoted;
      }
      ++p;
    } else {
      out += *p++;
    }
  }
  return p;
}

// ---- report --------------------------------------------------------------

std::wstring Json(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    switch (c) {
      case L'"': out += L"\\\""; break;
      case L'\\': out += L"\\\\"; break;
      case L'\n': out += L"\\n"; break;
      case L'\r': out += L"\\r"; break;
      case L'\t': out += L"\\t"; break;
      default:
        if (c < 0x20) {
          wchar_t escape[8];
          swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + L"\"";
}

std::string Utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()),
                                 nullptr, 0, nullptr, nullptr);
  std::string utf8(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), utf8.data(),
                      size, nullptr, nullptr);
  return utf8;
}

class Report {
 public:
  explicit Report(HANDLE file) : file_(file) {}

  // Written and flushed line by line so that a report stays readable even
  // when the watcher itself is killed.
  void Line(const std::wstring& json) {
    std::string utf8 = Utf8(json + L"\n");
    DWORD written = 0;
    WriteFile(file_, utf8.data(), DWORD(utf8.size()), &written, nullptr);
    FlushFileBuffers(file_);
  }

 private:
  HANDLE file_;
};

// ---- message boxes -------------------------------------------------------

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  std::wstring text(8192, L'\0');
  text.resize(GetWindowTextW(window, text.data(), int(text.size())));
  return text;
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&children));
  return children;
}

// Compares the icon that the box's icon control holds with the shared
// system icons.
const wchar_t* IconKind(HWND box) {
  for (HWND child : Children(box)) {
    if (ClassOf(child) != L"Static" ||
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
      continue;
    if (!IsWindowVisible(child)) return L"none";
    DWORD_PTR icon = 0;
    if (!SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000,
                             &icon))
      return L"unknown";
    if (!icon) return L"none";
    const struct {
      LPCWSTR id;
      const wchar_t* name;
    } kinds[] = {{IDI_ERROR, L"error"},
                 {IDI_INFORMATION, L"information"},
                 {IDI_WARNING, L"warning"},
                 {IDI_QUESTION, L"question"}};
    for (const auto& kind : kinds)
      if (reinterpret_cast<HICON>(icon) == LoadIconW(nullptr, kind.id))
        return kind.name;
    return L"unknown";
  }
  return L"none";
}

bool InJob(HANDLE job, HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  // Wine's IsProcessInJob wants the full query right, not the limited one.
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (!process) return false;
  BOOL member = FALSE;
  IsProcessInJob(process, job, &member);
  CloseHandle(process);
  return member;
}

std::vector<HWND> VisibleDialogs(HANDLE job) {
  std::vector<HWND> all, dialogs;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  for (HWND window : all)
    if (IsWindowVisible(window) && ClassOf(window) == L"#32770" &&
        InJob(job, window))
      dialogs.push_back(window);
  return dialogs;
}

// ---- holding a box for whoever looks at the screen -----------------------

std::wstring HoldFolder() {
  wchar_t folder[MAX_PATH] = L"";
  DWORD size = GetEnvironmentVariableW(L"WATCHER_HOLD_DIR", folder, MAX_PATH);
  return size > 0 && size < MAX_PATH ? folder : L"";
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Hands the box over and waits until it has been looked at. The file appears
// whole (written beside, then renamed), so nobody reads half of it.
void Hold(HWND box, const std::wstring& event, int number,
          const std::wstring& folder) {
  // With no window manager nothing activates a new window, and an inactive
  // caption is not what a person would see: make it the active one.
  SetForegroundWindow(box);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(box, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 2000,
                      &ignored);
  RECT rect{};
  GetWindowRect(box, &rect);
  std::wstring json = event.substr(0, event.size() - 1) + L",\"rect\":[" +
                      std::to_wstring(rect.left) + L"," +
                      std::to_wstring(rect.top) + L"," +
                      std::to_wstring(rect.right) + L"," +
                      std::to_wstring(rect.bottom) + L"]}\n";
  std::wstring base = folder + L"\\box-" + std::to_wstring(number);
  std::wstring partial = base + L".json.part";
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string utf8 = Utf8(json);
  DWORD written = 0;
  WriteFile(file, utf8.data(), DWORD(utf8.size()), &written, nullptr);
  CloseHandle(file);
  if (!MoveFileExW(partial.c_str(), (base + L".json").c_str(),
                   MOVEFILE_REPLACE_EXISTING))
    return;
  std::wstring done = base + L".done";
  for (DWORD waited = 0; waited < 30000 && !Exists(done); waited += 50)
    Sleep(50);
}

// Records the box and presses its default button (message boxes under Wine
// answer DM_GETDEFID with nothing, so the button's style decides). Box
// <number> is held first when there is a hold folder.
void Dismiss(HWND box, Report& report, int number,
             const std::wstring& hold_folder) {
  std::wstring buttons;
  int press = 0;
  for (HWND child : Children(box)) {
    if (ClassOf(child) != L"Button") continue;
    if (!buttons.empty()) buttons += L",";
    buttons += Json(TextOf(child));
    LONG type = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
    if (press == 0 || type == BS_DEFPUSHBUTTON) press = GetDlgCtrlID(child);
  }
  std::wstring event =
      L"{\"event\":\"box\",\"caption\":" + Json(TextOf(box)) +
      L",\"text\":" + Json(TextOf(GetDlgItem(box, 0xFFFF))) +
      L",\"icon\":\"" + IconKind(box) + L"\",\"buttons\":[" + buttons + L"]}";
  report.Line(event);
  if (!hold_folder.empty()) Hold(box, event, number, hold_folder);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(press ? press : IDOK, BN_CLICKED),
               0);
}

// ---- the process tree ----------------------------------------------------

void KillTree(HANDLE job, HANDLE root) {
  TerminateJobObject(job, 1);
  WaitForSingleObject(root, 5000);
  for (int i = 0; i < 100; ++i) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation,
                                   &info, sizeof info, nullptr) ||
        info.ActiveProcesses == 0)
      return;
    Sleep(50);
  }
}

int Usage() {
  fwprintf(stderr, L"usage: watcher.exe <report-file> <timeout-ms> -- "
                   L"<command line>\n");
  return 2;
}

}  // namespace

int wmain() {
  std::wstring report_path, timeout_text, dashes;
  const wchar_t* p = SkipProgramName(GetCommandLineW());
  p = NextArgument(SkipBlanks(p), report_path);
  p = NextArgument(SkipBlanks(p), timeout_text);
  p = NextArgument(SkipBlanks(p), dashes);
  if (report_path.empty() || dashes != L"--" || !*p || !p[1]) return Usage();
  std::wstring command_line = p + 1;
  wchar_t* end = nullptr;
  DWORD timeout = wcstoul(timeout_text.c_str(), &end, 10);
  if (timeout_text.empty() || *end) return Usage();

  HANDLE file = CreateFileW(report_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fwprintf(stderr, L"watcher: cannot create %ls (error %lu)\n",
             report_path.c_str(), GetLastError());
    return 2;
  }
  Report report(file);
  report.Line(L"{\"event\":\"start\",\"command_line\":" + Json(command_line) +
              L"}");

  // Wine starts its desktop process from the first process that needs a
  // window; that must be us, not the child, or the desktop would join the job.
  GetDesktopWindow();

  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                          sizeof limits);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  // Wine now and then fails a process start with ERROR_INTERNAL_ERROR on a busy machine;
  // that is the system under the test, not the program under it, so it is tried again.
  BOOL started_child = FALSE;
  DWORD start_error = 0;
  for (int attempt = 0; attempt < 3 && !started_child; ++attempt) {
    if (attempt > 0) Sleep(200);
    started_child = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                                   CREATE_SUSPENDED, nullptr, nullptr, &startup, &child);
    start_error = started_child ? 0 : GetLastError();
    if (start_error != ERROR_INTERNAL_ERROR) break;
  }
  if (!started_child) {
    report.Line(L"{\"event\":\"error\",\"call\":\"CreateProcessW\",\"code\":" +
                std::to_wstring(start_error) + L"}");
    return 3;
  }
  // Suspended until it is in the job, so that none of its children escapes.
  AssignProcessToJobObject(job, child.hProcess);
  ResumeThread(child.hThread);

  const std::wstring hold_folder = HoldFolder();
  int boxes = 0;
  std::set<HWND> handled;
  DWORD started = GetTickCount();
  for (;;) {
    std::erase_if(handled, [](HWND box) { return !IsWindow(box); });
    for (HWND box : VisibleDialogs(job)) {
      if (!handled.insert(box).second) continue;
      DWORD before = GetTickCount();
      Dismiss(box, report, ++boxes, hold_folder);
      if (!hold_folder.empty()) started += GetTickCount() - before;
    }

    DWORD elapsed = GetTickCount() - started;
    if (elapsed >= timeout) {
      KillTree(job, child.hProcess);
      report.Line(L"{\"event\":\"timeout\"}");
      return 0;
    }
    DWORD wait = timeout - elapsed < 20 ? timeout - elapsed : 20;
    if (WaitForSingleObject(child.hProcess, wait) == WAIT_OBJECT_0) break;
  }

  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  report.Line(L"{\"event\":\"exit\",\"code\":" + std::to_wstring(code) + L"}");
  KillTree(job, child.hProcess);  // whatever it left behind
  return 0;
}
