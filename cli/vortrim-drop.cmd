@echo off
rem Drop K5000 banks (.KAA) on this file in Windows Explorer: each is listed
rem and its patches are extracted into a folder beside it, named after it
rem (SYNTH1.KAA into SYNTH1\, NOEXT into NOEXT_\). The folder is made here
rem if it is missing, as vortrim itself never makes one, and removed again if
rem the bank could not be read; an existing one is used as it is. Each
rem bank's block starts with its name; after several banks, one line counts
rem what was extracted and what failed. The window stays open until a key is
rem pressed.
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
set action=extract
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
    if errorlevel 1 (set /a failed+=1) else set /a done+=1
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
if %mode%==console exit /b
if %dropped%==0 echo Drop bank files on %~nx0 to list them and extract their patches.
set verb=extracted
if %action%==list set verb=listed
echo.
if %dropped% gtr 1 echo %done% of %dropped% banks %verb%, %failed% failed.
pause
exit

rem Lists the bank and extracts it into a folder beside it, named after it;
rem a folder made here is removed again if the bank could not be read
rem (vortrim writes nothing then). Exit status 1 if vortrim failed. What is
rem counted here in a line's setlocal is lost, and counted by the loop.
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
"%program%" "-i%bank%" -l "-e%folder%"
if not errorlevel 1 (set /a done+=1 & exit /b 0)
set /a failed+=1
if defined made rd "%folder%" 2>nul
exit /b 1

rem With /list: the listing alone.
:list
"%program%" "-i%bank%" -l
if not errorlevel 1 (set /a done+=1 & exit /b 0)
set /a failed+=1
exit /b 1
