@echo off
rem Drop K5000 banks (.KAA) on this file in Windows Explorer: each is listed
rem and its patches are extracted into a folder beside it, named after it
rem (SYNTH1.KAA into SYNTH1\, NOEXT into NOEXT_\). The folder is made here
rem if it is missing, as vortrim itself never makes one, and removed again if
rem the bank could not be read; an existing one is used as it is. Each
rem bank's block starts with its name; after several banks, one line counts
rem what was extracted and what failed. Patches whose names Windows refuses
rem are left out (vortrim says so and goes on): that line also counts them,
rem and the banks they were in; after one bank they get a line of their own.
rem The window stays open until a key is pressed.
rem With /list before the banks, each is only listed; so is each bank given
rem to this script under the name vortrim-list.cmd.
rem
rem Explorer quotes a dropped path only if it holds a space, so a path
rem holding "&" would split this script's own command line: the paths are
rem read from the command line as cmd received it, where cmd gives it, and
rem the script ends with "exit" so that nothing after such an "&" ever runs.
rem Paths go through variables, never through "call", which would eat "%".
setlocal DisableDelayedExpansion
set "program=%~dp0vortrim.exe"
set dropped=0
set done=0
set failed=0
set partial=0
set left=0
set action=extract
rem vortrim's output for a bank goes through a file on its way to the window,
rem to count the patches left out: in a folder of this run's own, as mkdir
rem fails where one exists (two windows started in the same second draw the
rem same numbers). Without one, vortrim writes to the window as it goes.
set cp=
set tries=0
:try
set /a tries+=1
set "work=%TEMP%\vortrim-drop-%RANDOM%"
mkdir "%work%" 2>nul && goto tried
if %tries% lss 20 goto try
set work=
goto untried
:tried
rem The window's code page, given back after each file is shown in UTF-8:
rem read from a file, as "for /f" would start another cmd to run chcp.
chcp >"%work%\cp.txt"
for /f "usebackq tokens=2 delims=:." %%C in ("%work%\cp.txt") do set "cp=%%C"
del "%work%\cp.txt"
:untried
rem The system's own find, not one of that name earlier on the PATH.
set "find=%SystemRoot%\System32\find.exe"
if /i "%~n0"=="vortrim-list" set action=list
setlocal EnableDelayedExpansion
rem Dropped on, cmd's command line is: cmd.exe /c ""...\vortrim-drop.cmd" PATH ..."
rem Started from a console, it does not name this script. Wine gives none.
set "line=!cmdcmdline!"
set mode=arguments
if defined line set "paths=!line:*%~nx0=!"
if defined line if "!paths!"=="!line!" set mode=console
if defined line if not "!paths!"=="!line!" set mode=line
if not %mode%==line goto arguments
set "paths=!paths:~1,-1!"
for %%G in (!paths!) do (
  if "%%~G"=="/list" (set action=list) else (
    set /a dropped+=1
    setlocal DisableDelayedExpansion
    set "bank=%%~fG"
    call :bank
    endlocal
    if errorlevel 2 (set /a done+=1, partial+=1, left+=!errorlevel!-1
    ) else if errorlevel 1 (set /a failed+=1) else set /a done+=1
  )
)
goto done

rem The arguments as cmd split them.
:arguments
endlocal & set "mode=%mode%"
for %%G in (%*) do (
  if "%%~G"=="/list" (set action=list) else (
    set /a dropped+=1
    set "bank=%%~fG"
    call :bank
  )
)

:done
rem The work folder goes before the window waits (it may be closed then),
rem with delayed expansion off, which would lose a "!" in its path.
setlocal DisableDelayedExpansion
if defined work rd "%work%" 2>nul
endlocal
if %mode%==console exit /b
if %dropped%==0 echo Drop bank files on %~nx0 to list them and extract their patches.
set verb=extracted
if %action%==list set verb=listed
set "count=%done% of %dropped% banks %verb%, %failed% failed"
set "why=patches were left out: Windows refuses their names, and the page renames them."
if %left%==1 set "why=patch was left out: Windows refuses its name, and the page renames it."
echo.
if %dropped% gtr 1 if %partial%==0 echo %count%.
if %dropped% gtr 1 if not %partial%==0 echo %count%; in %partial% of them %left% %why%
if %dropped%==1 if not %partial%==0 echo %left% %why%
pause
exit

rem Lists the bank and extracts it into a folder beside it, named after it;
rem a folder made here is removed again if the bank could not be read
rem (vortrim writes nothing then). Exit status 1 if vortrim failed; else 0,
rem or 1 more than the number of patches it left out. What is counted here
rem in a line's setlocal is lost, and counted by the loop from that status.
:bank
echo.
rem A for variable keeps "&" and the like in the name from being commands.
for %%F in ("%bank%") do echo ==== %%~nxF ====
if %action%==list goto list
rem Named after the bank without its extension; with "_" where it has none
rem (also ".KAA"), since beside the bank a folder cannot take its own name.
for %%F in ("%bank%") do (
  set "folder=%%~dpnF"
  if "%%~nF"=="" set "folder=%%~dpnxF_"
  if "%%~xF"=="" set "folder=%%~dpnxF_"
)
set made=
if not exist "%folder%\" mkdir "%folder%" && set made=1
if defined work goto captured
"%program%" "-i%bank%" -l "-e%folder%"
if not errorlevel 1 (set /a done+=1 & exit /b 0)
goto unread

:captured
"%program%" "-i%bank%" -l "-e%folder%" >"%work%\out.txt"
if errorlevel 1 (set status=1) else set status=0
rem Shown as vortrim writes it, in UTF-8; the code page given back on the
rem same line, since cmd reads each line of this script in the one it finds.
if defined cp (chcp 65001 >nul 2>nul & type "%work%\out.txt" & chcp %cp% >nul 2>nul) else type "%work%\out.txt"
rem A patch's line starts with its file's name, never with "/" (vortrim puts
rem "_" there): no line found is taken for a comment.
"%find%" " - Cannot open KA1 file!" <"%work%\out.txt" >"%work%\lost.txt"
set lost=0
for /f "usebackq eol=/ delims=" %%L in ("%work%\lost.txt") do set /a lost+=1
del "%work%\out.txt" "%work%\lost.txt"
if %status%==1 goto unread
set /a done+=1
if %lost%==0 exit /b 0
set /a partial+=1, left+=lost, status=lost+1
exit /b %status%

:unread
set /a failed+=1
if defined made rd "%folder%" 2>nul
exit /b 1

rem With /list: the listing alone.
:list
"%program%" "-i%bank%" -l
if not errorlevel 1 (set /a done+=1 & exit /b 0)
set /a failed+=1
exit /b 1
