@echo off
rem orbwick @PROJECT_VERSION@ test kit: runs every test program in this folder
rem (each *.exe but norvhost.exe and run_limited.exe) against the
rem orbwick.dll and norvhost.exe beside it, each through run_limited.exe with
rem a time limit (ORBWICK_KIT_TIME_LIMIT seconds, 300 when not set). Each
rem program writes its GoogleTest XML result to results\NAME.xml and its
rem output to results\NAME.log. A program that exits with an error without a
rem failed test case in its XML, leaves no XML at all, or is stopped at the
rem time limit adds one to the failed count. The summary goes to the console
rem and to results\summary.txt; the last line counts test cases over all
rem programs: "N passed, M failed". Exit code 0 when nothing failed, 1
rem otherwise. Started from Explorer, it waits for a key before its window
rem closes; "run-tests.cmd /nopause" never waits.
rem Paths are only ever quoted or handed over through FOR variables, so a
rem folder with blanks, "&", "!" or "%" in its name works; a UNC folder is
rem mapped to a drive letter by pushd for the time of the run.
setlocal EnableExtensions DisableDelayedExpansion
pushd "%~dp0"
set "kit_pause="
if /i not "%~1"=="/nopause" run_limited.exe --started-from-explorer
if /i not "%~1"=="/nopause" if not errorlevel 1 set "kit_pause=1"
set "kit_limit=300"
if defined ORBWICK_KIT_TIME_LIMIT set "kit_limit=%ORBWICK_KIT_TIME_LIMIT%"
if exist results rd /s /q results
md results
set /a kit_passed=0
set /a kit_failed=0
set /a kit_skipped=0
set /a kit_programs=0
set "kit_failed_programs="
for %%d in ("%CD%") do echo orbwick @PROJECT_VERSION@ test kit in %%~d
echo Time limit per program: %kit_limit% s; output of each program in results\NAME.log
for %%p in (*.exe) do if /i not "%%~nxp"=="norvhost.exe" if /i not "%%~nxp"=="run_limited.exe" call :run_program "%%~np"
set "kit_exit=0"
if not %kit_failed%==0 set "kit_exit=1"
if not defined kit_failed_programs set "kit_failed_programs= none"
> results\summary.txt echo Programs run: %kit_programs%; failed:%kit_failed_programs%
>> results\summary.txt echo Test cases: %kit_passed% passed, %kit_failed% failed, %kit_skipped% skipped
>> results\summary.txt echo Exit code: %kit_exit%
>> results\summary.txt echo %kit_passed% passed, %kit_failed% failed
echo.
echo == Summary
for %%d in ("%CD%\results") do echo Results: %%~d
type results\summary.txt
popd
if defined kit_pause (
    echo.
    echo Send the Windows version ^(ver^), these lines and the zipped results folder.
    echo Press a key to close this window.
    pause >nul
)
exit /b %kit_exit%

rem Runs one program and adds its counts; %1 is the program's name.
:run_program
set "name=%~1"
set /a kit_programs+=1
echo == %name%
run_limited.exe %kit_limit% "results\%name%.log" "%name%.exe" --gtest_brief=1 "--gtest_output=xml:results\%name%.xml"
set /a exit_code=%ERRORLEVEL%
if %exit_code%==124 (
    echo %name%: stopped after the time limit of %kit_limit% s: counted as 1 failed
    set /a kit_failed+=1
    set "kit_failed_programs=%kit_failed_programs% %name%"
    goto :eof
)
set tests=
set failures=
set disabled=
set /a skipped=0
rem Only cmd.exe's own commands read the XML: its first element carries the
rem counts, and each skipped test case has a line starting with its own
rem "skipped" element.
if exist "results\%name%.xml" (
    for /f "usebackq tokens=1-7 delims== " %%a in ("results\%name%.xml") do (
        if "%%a"=="<testsuites" if "%%b"=="tests" if "%%d"=="failures" if "%%f"=="disabled" (
            set tests=%%~c
            set failures=%%~e
            set disabled=%%~g
        )
        if "%%a"=="<skipped" set /a skipped+=1
    )
)
if "%tests%"=="" (
    echo %name%: exit code %exit_code%, no result in results\%name%.xml: counted as 1 failed
    set /a kit_failed+=1
    set "kit_failed_programs=%kit_failed_programs% %name%"
    goto :eof
)
set /a passed=tests-failures-disabled-skipped
set /a kit_passed+=passed
set /a kit_failed+=failures
set /a kit_skipped+=skipped
if not %failures%==0 set "kit_failed_programs=%kit_failed_programs% %name%"
if not %exit_code%==0 if %failures%==0 (
    echo %name%: exit code %exit_code% without a failed test case: counted as 1 failed
    set /a kit_failed+=1
    set "kit_failed_programs=%kit_failed_programs% %name%"
)
echo %name%: %passed% passed, %failures% failed, %skipped% skipped, exit code %exit_code%
goto :eof
