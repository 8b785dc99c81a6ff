@echo off
rem Drop K5000 banks (.KAA) on this file in Windows Explorer: each is listed
rem and its patches are extracted into a folder beside it, named after it
rem (SYNTH1.KAA into SYNTH1\). The folder is made here if it is missing, as
rem vortrim itself never makes one; an existing one is used as it is. The
rem window stays open until a key is pressed.
rem
rem Explorer quotes a dropped path only if it holds a space, so a path
rem holding "&" would split this script's own command line: the paths are
rem read from the command line as cmd received it, where cmd gives it, and
rem the script ends with "exit" so that nothing after such an "&" ever runs.
rem Paths go through variables, never through "call", which would eat "%".
setlocal DisableDelayedExpansion
set "program=%~dp0vortrim.exe"
set dropped=0
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
  set /a dropped+=1
  setlocal DisableDelayedExpansion
  set "bank=%%~fG"
  call :extract
  endlocal
)
goto done

rem The arguments as cmd split them.
:arguments
endlocal & set "mode=%mode%"
for %%G in (%*) do (
  set /a dropped+=1
  set "bank=%%~fG"
  call :extract
)

:done
if %mode%==console exit /b
if %dropped%==0 echo Drop bank files on %~nx0 to list them and extract their patches.
echo.
pause
exit

rem Lists the bank and extracts it into a folder beside it, named after it.
:extract
for %%F in ("%bank%") do set "folder=%%~dpnF"
echo.
if not exist "%folder%\" mkdir "%folder%"
"%program%" "-i%bank%" -l "-e%folder%"
exit /b
