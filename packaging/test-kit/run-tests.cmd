@echo off
rem orbwick @PROJECT_VERSION@ test kit: runs the test programs named in
rem kit_list below against the orbwick.dll and norvhost.exe beside them, each
rem through run_limited.exe with a time limit (ORBWICK_KIT_TIME_LIMIT seconds,
rem 300 when not set). Each program writes its GoogleTest XML result to
rem results\NAME.xml and its output to results\NAME.log. A program that is
rem missing from the folder, cannot be started, exits with an error without
rem a failed test case in its XML, leaves no XML at all, or is stopped at the
rem time limit adds one to the failed count; so does a run in which no
rem program ran. The summary goes to the console and to results\summary.txt:
rem the kit's version, the Windows version, the version and SHA-256 of
rem orbwick.dll, the date, the programs run and failed, the counts; its last
rem line counts test cases over all programs: "N passed, M failed". Exit
rem code 0 when nothing failed, 1 when something failed, 2 when the kit could
rem not work in its own folder. It waits for a key before its window closes
rem when Explorer started it, or when run_limited.exe cannot tell;
rem "run-tests.cmd /nopause" never waits.
rem Paths are only ever quoted or handed over through FOR variables, so a
rem folder with blanks, "&", "!" or "%" in its name works; a UNC folder is
rem mapped to a drive letter by pushd for the time of the run.
setlocal EnableExtensions DisableDelayedExpansion
set "kit_list=@KIT_PROGRAMS@"
set /a kit_expected=@KIT_PROGRAM_COUNT@
set "kit_pause=1"
if /i "%~1"=="/nopause" set "kit_pause="
rem Everything happens in the kit's own folder. Should pushd fail (a share
rem with no drive letter free, access denied), the current folder would be
rem another one, C:\Windows for a double click on a share: stop instead.
rem The error level tells, not "||", which Wine's cmd.exe also follows after
rem a pushd that worked; "(call )" sets it to 0 first.
(call )
pushd "%~dp0"
if errorlevel 1 goto :no_kit_folder
if not exist "%~nx0" (
    popd
    goto :no_kit_folder
)
rem run_limited.exe answers 1 when no Explorer started the script; anything
rem else, also its failure to start, keeps the wait for a key.
if defined kit_pause run_limited.exe --started-from-explorer
if defined kit_pause if errorlevel 1 if not errorlevel 2 set "kit_pause="
set "kit_limit=300"
if defined ORBWICK_KIT_TIME_LIMIT set "kit_limit=%ORBWICK_KIT_TIME_LIMIT%"
if exist results\ rd /s /q results
if exist results\ goto :no_results_folder
md results
type nul >results\summary.txt
if not exist results\summary.txt goto :no_results_folder
set "kit_helper=1"
run_limited.exe --facts orbwick.dll >results\facts.txt
if errorlevel 1 set "kit_helper="
set "kit_windows=unknown"
for /f "delims=" %%v in ('ver') do set "kit_windows=%%v"
set "kit_processor=%PROCESSOR_ARCHITECTURE%"
if defined PROCESSOR_ARCHITEW6432 set "kit_processor=%PROCESSOR_ARCHITEW6432%"
set /a kit_passed=0
set /a kit_failed=0
set /a kit_skipped=0
set /a kit_ran=0
set "kit_failed_programs="
for %%d in ("%CD%") do echo orbwick @PROJECT_VERSION@ test kit in %%~d
echo Time limit per program: %kit_limit% s; output of each program in results\NAME.log
if not defined kit_helper echo run_limited.exe could not start, so no test program can run: see README.txt, "If nothing runs".
for %%p in (%kit_list%) do call :run_program %%p
if %kit_ran%==0 (
    echo No test program ran: counted as 1 failed
    set /a kit_failed+=1
)
set "kit_exit=0"
if not %kit_failed%==0 set "kit_exit=1"
if not defined kit_failed_programs set "kit_failed_programs= none"
> results\summary.txt echo Kit: orbwick @PROJECT_VERSION@ test kit, %kit_expected% test programs
>> results\summary.txt echo Windows: %kit_windows%, processor %kit_processor%
if defined kit_helper type results\facts.txt >>results\summary.txt
if not defined kit_helper call :facts_without_helper
>> results\summary.txt echo Programs run: %kit_ran% of %kit_expected%; failed:%kit_failed_programs%
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
    echo Send these lines and the zipped results folder.
    call :wait_for_key
)
exit /b %kit_exit%

rem Runs one program and adds its counts; %1 is the program's name.
:run_program
set "name=%~1"
echo == %name%
if not exist "%name%.exe" (
    echo %name%: %name%.exe is missing from the kit's folder: counted as 1 failed
    goto :count_failed_program
)
if not defined kit_helper (
    echo %name%: not run, run_limited.exe could not start: counted as 1 failed
    goto :count_failed_program
)
run_limited.exe %kit_limit% "results\%name%.log" "%name%.exe" --gtest_brief=1 "--gtest_output=xml:results\%name%.xml"
set /a exit_code=%ERRORLEVEL%
if %exit_code%==125 (
    echo %name%: could not be started: counted as 1 failed
    if exist "results\%name%.log" type "results\%name%.log"
    goto :count_failed_program
)
set /a kit_ran+=1
if %exit_code%==124 (
    echo %name%: stopped after the time limit of %kit_limit% s: counted as 1 failed
    goto :count_failed_program
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
    goto :count_failed_program
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

:count_failed_program
set /a kit_failed+=1
set "kit_failed_programs=%kit_failed_programs% %name%"
goto :eof

rem The summary's facts when run_limited.exe could not give them.
:facts_without_helper
>> results\summary.txt echo orbwick.dll: version and SHA-256 not known, run_limited.exe could not start
>> results\summary.txt echo Date: %DATE% %TIME%
goto :eof

:wait_for_key
echo Press a key to close this window.
pause >nul
goto :eof

:no_kit_folder
for %%d in ("%~dp0") do echo run-tests.cmd: cannot work in its own folder, %%~d
echo On a network share no drive letter may be free, or access may be denied.
echo Copy the kit's folder to a local disk, for example C:\orbwick-tests,
echo and run it there. Nothing was run.
if defined kit_pause call :wait_for_key
exit /b 2

:no_results_folder
for %%d in ("%CD%") do echo run-tests.cmd: cannot write the folder results in %%~d
echo The kit's folder must be writable, and no file of an earlier run open.
echo Unpack the kit into a folder of your own, for example C:\orbwick-tests,
echo not under C:\Program Files or on a read-only share. Nothing was run.
popd
if defined kit_pause call :wait_for_key
exit /b 2
