/*
 * Starts a script the way Windows Explorer does when files are dropped on
 * it: cmd.exe /c ""SCRIPT" PATH...", each path quoted only if it holds a
 * space. Built for Windows, run under Wine by the drop target's tests.
 *
 *   explorer_drop SCRIPT [PATH...]
 *
 * Or starts a verb's command line as Explorer does, %1 already filled in:
 *
 *   explorer_drop /verb "COMMAND LINE"
 */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

int wmain(int argc, wchar_t **argv) {
  static wchar_t line[32768];
  STARTUPINFOW start;
  PROCESS_INFORMATION process;
  DWORD status = 1;
  int i;

  if (argc < 2) return 2;
  ZeroMemory(&start, sizeof start);
  start.cb = sizeof start;
  if (wcscmp(argv[1], L"/verb") == 0 && argc == 3) {
    swprintf(line, 32768, L"%ls", argv[2]);
  } else {
    swprintf(line, 32768, L"cmd.exe /c \"\"%ls\"", argv[1]);
    for (i = 2; i < argc; ++i) {
      const wchar_t *quote = wcschr(argv[i], L' ') != NULL ? L"\"" : L"";
      size_t used = wcslen(line);
      swprintf(line + used, 32768 - used, L" %ls%ls%ls", quote, argv[i], quote);
    }
    wcscat(line, L"\"");
  }
  if (!CreateProcessW(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &start, &process)) return 127;
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &status);
  return (int)status;
}
