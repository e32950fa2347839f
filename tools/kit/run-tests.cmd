@echo off
rem The Windows test kit's runner: runs every Windows test program of the kit and
rem ends with "N passed, N failed". On Windows it first trusts the kit's test CA for
rem the current user (Windows asks the user to confirm; answer Yes), starts the test
rem server on https://localhost:443 with Python 3, and afterwards stops the server
rem and removes the CA again, also when the run was interrupted with Ctrl+C.
rem
rem   run-tests.cmd [--server-running] [--interactive]
rem
rem --server-running  a test server runs already and this machine trusts its CA: the
rem                   runner leaves both alone (the Linux side's Wine run uses this)
rem --interactive     also run the tests that need a person at the screen
setlocal
set "KIT=%~dp0"
if "%KIT:~-1%"=="\" set "KIT=%KIT:~0,-1%"
set "OWN_SERVER=1"
set "RUN_OPTIONS="

:options
if "%~1"=="" goto options_done
if /i "%~1"=="--server-running" (
  set "OWN_SERVER=0"
  shift
  goto options
)
if /i "%~1"=="--interactive" (
  set "RUN_OPTIONS=--interactive"
  shift
  goto options
)
echo run-tests.cmd: unknown option %1
exit /b 255
:options_done

set "OSTRANE_KIT_DIR=%KIT%"
if "%OWN_SERVER%"=="0" goto run

rem Python 3 for the test server: the launcher first, then python on the PATH.
set "PYTHON="
py -3 --version >nul 2>&1 && set "PYTHON=py -3"
if not defined PYTHON python --version >nul 2>&1 && set "PYTHON=python"
if not defined PYTHON (
  echo Python 3 is needed for the test server: install it from https://www.python.org and run again.
  exit /b 255
)

set "OSTRANE_STATE=%KIT%\state"
if exist "%OSTRANE_STATE%" rmdir /s /q "%OSTRANE_STATE%"
mkdir "%OSTRANE_STATE%\server" "%OSTRANE_STATE%\docroot\f" "%OSTRANE_STATE%\docroot\product" "%KIT%\logs" 2>nul

echo Adding the test CA "Ostrane Test CA" to your Root store. Windows asks you to confirm: answer Yes.
certutil -user -addstore Root "%KIT%\server\ca.crt" >"%KIT%\logs\certutil-add.log" 2>&1
if errorlevel 1 (
  echo The test CA was not added (see logs\certutil-add.log^): the tests need it.
  exit /b 255
)

start "Ostrane test server" /b %PYTHON% "%KIT%\server\testserver.py" serve --port 443 --host localhost ^
  --cert "%KIT%\server\server.crt" --key "%KIT%\server\server.key" --state-dir "%OSTRANE_STATE%\server" ^
  --docroot "%OSTRANE_STATE%\docroot" --idle-exit 1800 --no-continue --stop-file "%OSTRANE_STATE%\stop" ^
  >"%KIT%\logs\server.log" 2>&1
%PYTHON% "%KIT%\server\testserver.py" wait --host localhost --port 443 --timeout 20 >nul
if errorlevel 1 (
  echo The test server did not start: see logs\server.log.
  set "RESULT=255"
  goto clean_up
)

:run
"%KIT%\files\kit_run.exe" "%KIT%" %RUN_OPTIONS%
set "RESULT=%ERRORLEVEL%"
if "%OWN_SERVER%"=="0" exit /b %RESULT%

:clean_up
echo stop>"%OSTRANE_STATE%\stop"
certutil -user -delstore Root "Ostrane Test CA" >"%KIT%\logs\certutil-remove.log" 2>&1
if errorlevel 1 echo The test CA could not be removed: remove "Ostrane Test CA" from your Root store by hand (certmgr.msc).
exit /b %RESULT%
