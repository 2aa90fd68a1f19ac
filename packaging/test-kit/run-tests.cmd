@echo off
rem orbwick @PROJECT_VERSION@ test kit: runs every test program in this folder
rem (each *.exe except norvhost.exe) against the orbwick.dll and norvhost.exe
rem beside it. Each program writes its GoogleTest XML result to
rem results\NAME.xml. The last line counts test cases over all programs:
rem "N passed, M failed". A program that exits with an error without a failed
rem test case in its XML (or leaves no XML at all) adds one to the failed count.
rem Exit code 0 when nothing failed, 1 otherwise.
setlocal
pushd "%~dp0"
if exist results rd /s /q results
md results
set /a kit_passed=0
set /a kit_failed=0
set /a kit_skipped=0
echo orbwick @PROJECT_VERSION@ test kit in %CD%
for %%p in (*.exe) do if /i not "%%~nxp"=="norvhost.exe" call :run_program %%~np
echo Results: %CD%\results
if not %kit_skipped%==0 echo %kit_skipped% skipped
echo %kit_passed% passed, %kit_failed% failed> results\summary.txt
popd
echo %kit_passed% passed, %kit_failed% failed
if not %kit_failed%==0 exit /b 1
exit /b 0

rem Runs one program and adds its counts; %1 is the program's name.
:run_program
echo == %1
"%1.exe" --gtest_brief=1 "--gtest_output=xml:results\%1.xml"
set /a exit_code=%ERRORLEVEL%
set tests=
set failures=
set disabled=
set /a skipped=0
rem Only cmd.exe's own commands read the XML: its first element carries the
rem counts, and each skipped test case has a line starting with its own
rem "skipped" element.
if exist "results\%1.xml" (
    for /f "usebackq tokens=1-7 delims== " %%a in ("results\%1.xml") do (
        if "%%a"=="<testsuites" if "%%b"=="tests" if "%%d"=="failures" if "%%f"=="disabled" (
            set tests=%%~c
            set failures=%%~e
            set disabled=%%~g
        )
        if "%%a"=="<skipped" set /a skipped+=1
    )
)
if "%tests%"=="" (
    echo %1: exit code %exit_code%, no result in results\%1.xml: counted as 1 failed
    set /a kit_failed+=1
    goto :eof
)
set /a passed=tests-failures-disabled-skipped
set /a kit_passed+=passed
set /a kit_failed+=failures
set /a kit_skipped+=skipped
if not %exit_code%==0 if %failures%==0 (
    echo %1: exit code %exit_code% without a failed test case: counted as 1 failed
    set /a kit_failed+=1
)
echo %1: %passed% passed, %failures% failed, %skipped% skipped, exit code %exit_code%
goto :eof
