@echo off
rem orbwick @PROJECT_VERSION@ test kit: runs the test programs named in
rem kit_list below against the orbwick.dll and norvhost.exe beside them, each
rem through run_limited.exe with a time limit (its own in kit_limits, else
rem kit_default_limit; ORBWICK_KIT_TIME_LIMIT seconds for every program when
rem set). First run_limited.exe checks the kit's files against
rem kit-checksums.txt, which the build wrote, and fails closed: a file that
rem differs, a listed file that is missing, a file listed twice, or
rem orbwick.dll, norvhost.exe or a program of kit_list not listed stops the
rem kit before anything runs (exit code 3), unless only orbwick.dll differs
rem and /otherdll asks to test another one on purpose. The check cannot
rem vouch for the list, run_limited.exe or this script: only the kit's zip,
rem checked against the release's SHA256SUMS.txt, can. Then the kit's folder
rem and the folder for temporary files must be named within the ANSI code
rem page, through which the programs name them; else the kit stops with the
rem advice to move it (exit code 2). Each program writes its GoogleTest XML
rem result to results\NAME.xml and its output to results\NAME.log. A program
rem that is missing from the folder, cannot be started, exits with an error
rem without a failed test case in its XML, leaves no XML at all, or is
rem stopped at the time limit adds one to the failed count; so does a run in
rem which no program ran. The programs' temporary files go to a folder of
rem the kit's own in %TEMP%, removed at the end unless /keeptemp keeps it for
rem a report. The summary goes to the console and to results\summary.txt:
rem first the SHA-256 of orbwick.dll, to be compared with the release's
rem SHA256SUMS.txt, then its version, the Windows version, service pack and
rem product type, the date, the kit's version, the outcome of the check, the
rem programs run and failed, the counts; its last line counts test cases
rem over all programs: "N passed, M failed". After /otherdll with another
rem DLL its first and its last line say "NOT THE RELEASE". Exit code 0 when
rem nothing failed, 1 when something failed, 2 when the kit could not work
rem in its own folder, another run held it or the kit was given an unknown
rem switch, 3 when its own check stopped it, 4 when nothing failed but
rem another orbwick.dll was tested (/otherdll). It waits for a key before
rem its window closes when Explorer started it, or when run_limited.exe
rem cannot tell; "/nopause" never waits.
rem Paths are only ever quoted or handed over through FOR variables, so a
rem folder with blanks, "&", "!" or "%" in its name works; a UNC folder is
rem mapped to a drive letter by pushd for the time of the run.
rem One run per folder: before it deletes anything the run takes a lock, the
rem file run-tests.lock held open without sharing by run_limited.exe, which
rem runs the rest of this script again under it (kit_lock_held set) and lives
rem as long as that; Windows lets the lock go with the run's processes,
rem however they end. A second run meanwhile says "another run is in
rem progress in this folder", deletes nothing and ends with exit code 2.
rem A pass (exit code 0, or 4 with /otherdll) needs more than no failure:
rem the summary must hold run_limited.exe's own verdict on the kit's files
rem (its "Checked:" line), the SHA-256 of orbwick.dll, and at least the test
rem cases the programs listed when the kit was built (kit_cases, "NAME:COUNT"
rem each; a skipped test case counts as run, not as passed). What lacks one
rem of them names it, counts as 1 failed and ends with exit code 1.
setlocal EnableExtensions DisableDelayedExpansion
set "kit_list=@KIT_PROGRAMS@"
set /a kit_expected=@KIT_PROGRAM_COUNT@
rem The test cases of each program, as it listed them when the kit was built.
set "kit_cases=@KIT_CASES@"
rem Seconds, at least three times what each program took on the developers'
rem machine under load: "NAME:SECONDS" for those that need more than the
rem default.
set "kit_default_limit=@KIT_DEFAULT_TIME_LIMIT@"
set "kit_limits=@KIT_TIME_LIMITS@"
rem The run under the lock: its switches, and whether to wait for a key, are
rem settled.
if defined kit_lock_held goto :in_kit_folder
set "kit_pause=1"
set "kit_other_dll="
set "kit_keep_temp="
:next_switch
if "%~1"=="" goto :switches_read
if /i "%~1"=="/nopause" (
    set "kit_pause="
) else if /i "%~1"=="/otherdll" (
    set "kit_other_dll=1"
) else if /i "%~1"=="/keeptemp" (
    set "kit_keep_temp=1"
) else (
    goto :unknown_switch
)
shift
goto :next_switch
:switches_read
:in_kit_folder
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
if defined kit_lock_held goto :locked_run
rem run_limited.exe answers 1 when no Explorer started the script, 0 when
rem one did; anything else, its failure to start, keeps the wait for a key,
rem and the run goes on without a lock, as it runs no program then.
set "kit_helper="
(call )
run_limited.exe --started-from-explorer
set /a kit_answer=%ERRORLEVEL%
if %kit_answer%==1 set "kit_pause="
if %kit_answer%==1 set "kit_helper=1"
if %kit_answer%==0 set "kit_helper=1"
if not defined kit_helper goto :locked_run
rem The run itself ends with its exit code plus 10, so that an exit code
rem from anything else, such as a program put in place of run_limited.exe
rem that ran no script, is not taken for it.
set "kit_lock_held=1"
run_limited.exe --locked run-tests.lock "%~nx0"
set /a kit_exit=%ERRORLEVEL%
set "kit_lock_held="
if %kit_exit%==126 goto :another_run
if %kit_exit%==125 goto :no_results_folder
set /a kit_run_exit=kit_exit-10
for %%c in (0 1 2 3 4) do if %kit_run_exit%==%%c goto :locked_run_ended
goto :run_not_by_kit
:locked_run_ended
popd
exit /b %kit_run_exit%

:locked_run
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
rem The kit's files against the checksums the build wrote for them: 0 when
rem they match, 3 when only orbwick.dll differs, which /otherdll allows.
set "kit_release=unknown"
set /a kit_check=0
if defined kit_helper call :check_files
if %kit_check%==3 if defined kit_other_dll set "kit_release=no"
if "%kit_release%"=="no" set /a kit_check=0
if not %kit_check%==0 goto :not_the_release
call :make_temp_folder
set /a kit_plain=0
if defined kit_helper call :check_folders
if not %kit_plain%==0 goto :not_plain_folder
set /a kit_passed=0
set /a kit_failed=0
set /a kit_skipped=0
set /a kit_ran=0
set /a kit_cases_run=0
set /a kit_cases_expected=0
set "kit_failed_programs="
for %%d in ("%CD%") do echo orbwick @PROJECT_VERSION@ test kit in %%~d
if defined kit_helper type results\checksums.txt
if defined ORBWICK_KIT_TIME_LIMIT (
    echo Time limit per program: %ORBWICK_KIT_TIME_LIMIT% s, from ORBWICK_KIT_TIME_LIMIT
) else (
    echo Time limit per program: %kit_default_limit% s; of their own, NAME:SECONDS: %kit_limits%
)
echo Output of each program in results\NAME.log
if not defined kit_helper echo run_limited.exe could not start, so no test program can run: see README.txt, "If nothing runs".
for %%p in (%kit_list%) do call :run_program %%p
if %kit_ran%==0 (
    echo No test program ran: counted as 1 failed
    set /a kit_failed+=1
)
if not defined kit_failed_programs set "kit_failed_programs= none"
call :summary_head
if not defined kit_helper >> results\summary.txt echo Release: not checked, run_limited.exe could not start
call :check_verdict
set "kit_exit=0"
if not %kit_failed%==0 set "kit_exit=1"
if %kit_exit%==0 if "%kit_release%"=="no" set "kit_exit=4"
call :remove_temp_folder
>> results\summary.txt echo Programs run: %kit_ran% of %kit_expected%; failed:%kit_failed_programs%
>> results\summary.txt echo Test cases: %kit_passed% passed, %kit_failed% failed, %kit_skipped% skipped
>> results\summary.txt echo Test cases run: %kit_cases_run%, of at least %kit_cases_expected% expected
>> results\summary.txt echo Exit code: %kit_exit%
if "%kit_release%"=="no" >> results\summary.txt echo %kit_passed% passed, %kit_failed% failed - NOT THE RELEASE, another orbwick.dll was tested ^(/otherdll^)
if not "%kit_release%"=="no" >> results\summary.txt echo %kit_passed% passed, %kit_failed% failed
echo.
echo == Summary
for %%d in ("%CD%\results") do echo Results: %%~d
type results\summary.txt
if defined kit_pause (
    echo.
    echo Send these lines and the zipped results folder to the team that gave you the release.
)
goto :end_run

rem Ends a run with exit code kit_exit: plus 10 under the lock, for the
rem script that took it.
:end_run
popd
if defined kit_pause call :wait_for_key
if defined kit_lock_held set /a kit_exit+=10
exit /b %kit_exit%

rem Runs one program and adds its counts; %1 is the program's name.
:run_program
set "name=%~1"
echo == %name%
set /a expected_cases=0
for %%c in (%kit_cases%) do call :own_cases %%c
set /a kit_cases_expected+=expected_cases
if not exist "%name%.exe" (
    echo %name%: %name%.exe is missing from the kit's folder: counted as 1 failed
    goto :count_failed_program
)
if not defined kit_helper (
    echo %name%: not run, run_limited.exe could not start: counted as 1 failed
    goto :count_failed_program
)
set "limit=%kit_default_limit%"
for %%l in (%kit_limits%) do call :own_limit %%l
if defined ORBWICK_KIT_TIME_LIMIT set "limit=%ORBWICK_KIT_TIME_LIMIT%"
run_limited.exe %limit% "results\%name%.log" "%name%.exe" --gtest_brief=1 "--gtest_output=xml:results\%name%.xml"
set /a exit_code=%ERRORLEVEL%
if %exit_code%==125 (
    echo %name%: could not be started: counted as 1 failed
    if exist "results\%name%.log" type "results\%name%.log"
    goto :count_failed_program
)
set /a kit_ran+=1
if %exit_code%==124 (
    call :stopped_at_limit
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
set /a kit_cases_run+=tests-disabled
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

rem A program stopped at its limit: on a slow or busy machine a higher limit
rem is the remedy, twice this one and at least the kit's largest.
:stopped_at_limit
set /a higher=2*limit
for %%l in (%kit_limits%) do call :at_least %%l
echo %name%: stopped after the time limit of %limit% s: counted as 1 failed
echo %name%: if the machine was slow or busy, run the kit again with a higher limit, in a Command Prompt in the kit's folder:
echo     set ORBWICK_KIT_TIME_LIMIT=%higher%
echo     run-tests.cmd
goto :eof

rem The two take one NAME:SECONDS of kit_limits. Each is a call of its own:
rem Wine's cmd.exe splits nothing in a FOR /F nested in another FOR, and a
rem FOR line reads %higher% only once.
:own_limit
for /f "tokens=1,2 delims=:" %%a in ("%~1") do if /i "%%a"=="%name%" set "limit=%%b"
goto :eof

:own_cases
for /f "tokens=1,2 delims=:" %%a in ("%~1") do if /i "%%a"=="%name%" set /a expected_cases=%%b
goto :eof

:at_least
for /f "tokens=2 delims=:" %%b in ("%~1") do if %%b gtr %higher% set /a higher=%%b
goto :eof

rem Runs the check; orbwick.dll, norvhost.exe and every program of kit_list
rem must be listed.
:check_files
set "kit_files="
for %%p in (%kit_list%) do call :add_file %%p
run_limited.exe --check kit-checksums.txt orbwick.dll norvhost.exe%kit_files% >results\checksums.txt
set /a kit_check=%ERRORLEVEL%
set "kit_release=yes"
goto :eof

:add_file
set "kit_files=%kit_files% %~1.exe"
goto :eof

:check_folders
run_limited.exe --plain-folders >results\folders.txt
set /a kit_plain=%ERRORLEVEL%
goto :eof

rem The summary's first lines, anew: whether the run can stand for the
rem release, orbwick.dll's checksum and the other facts, the kit and the
rem outcome of its check.
:summary_head
type nul >results\summary.txt
if "%kit_release%"=="no" >> results\summary.txt echo NOT THE RELEASE: this run tested another orbwick.dll on purpose ^(/otherdll^); its results say nothing about the release's orbwick.dll
if not %kit_check%==0 >> results\summary.txt echo NOT THE RELEASE: the kit's own check stopped it, so no test program was run
if defined kit_helper type results\facts.txt >>results\summary.txt
if not defined kit_helper call :facts_without_helper
>> results\summary.txt echo Windows: %kit_windows%, processor %kit_processor%
>> results\summary.txt echo Kit: orbwick @PROJECT_VERSION@ test kit, %kit_expected% test programs
if defined kit_helper type results\checksums.txt >>results\summary.txt
goto :eof

rem Whether the summary holds what a pass needs; each thing it lacks is named,
rem and all of them count as 1 failed.
:check_verdict
set "kit_has_check="
set "kit_has_sum="
for /f "usebackq tokens=1,2" %%a in ("results\summary.txt") do (
    if "%%a"=="Checked:" set "kit_has_check=1"
    if "%%a %%b"=="orbwick.dll: SHA-256" set "kit_has_sum=1"
)
set "kit_lacks="
if not defined kit_has_check (
    >> results\summary.txt echo Not a pass: no "Checked:" line, the check of the kit's files by run_limited.exe
    set "kit_lacks=1"
)
if not defined kit_has_sum (
    >> results\summary.txt echo Not a pass: no SHA-256 of orbwick.dll
    set "kit_lacks=1"
)
if %kit_cases_run% lss %kit_cases_expected% (
    >> results\summary.txt echo Not a pass: expected at least %kit_cases_expected% test cases, %kit_cases_run% ran
    set "kit_lacks=1"
)
if not defined kit_lacks goto :eof
>> results\summary.txt echo The above counts as 1 failed. If a program failed or was stopped, see its results\NAME.log; otherwise unpack the kit again from its zip, checked against SHA256SUMS.txt of the release ^(see README.txt^).
set /a kit_failed+=1
goto :eof

rem A folder of the kit's own in %TEMP% for the programs' temporary files,
rem which TEMP and TMP name while they run: what a program leaves there, also
rem one stopped at its limit, goes with the folder at the end.
:make_temp_folder
set "kit_temp="
if not defined TEMP goto :eof
for /l %%i in (1,1,20) do if not defined kit_temp call :try_temp_folder
if defined kit_temp (
    set "TEMP=%kit_temp%"
    set "TMP=%kit_temp%"
)
goto :eof

:try_temp_folder
set "kit_try=%TEMP%\orbwick-kit-%RANDOM%%RANDOM%"
if exist "%kit_try%" goto :eof
md "%kit_try%" 2>nul
if errorlevel 1 goto :eof
set "kit_temp=%kit_try%"
goto :eof

rem Removes that folder, or keeps it for a report, and says so in the summary.
:remove_temp_folder
if not defined kit_temp (
    >> results\summary.txt echo Temporary files: in TEMP, the kit could not make a folder of its own there
    goto :eof
)
if defined kit_keep_temp (
    for %%d in ("%kit_temp%") do >> results\summary.txt echo Temporary files: kept ^(/keeptemp^) in %%~d
    goto :eof
)
rd /s /q "%kit_temp%"
>> results\summary.txt echo Temporary files: removed
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

:not_the_release
call :summary_head
if %kit_check%==2 >> results\summary.txt echo Without its list the kit cannot check its files. Unpack the kit again from its zip, checked against SHA256SUMS.txt of the release ^(see README.txt^).
if %kit_check%==3 >> results\summary.txt echo Only orbwick.dll differs. Unpack the kit again from its zip, checked against SHA256SUMS.txt of the release ^(see README.txt^). To test another orbwick.dll on purpose: run-tests.cmd /otherdll
if %kit_check%==1 >> results\summary.txt echo The files named above do not match kit-checksums.txt. Unpack the kit again from its zip, checked against SHA256SUMS.txt of the release ^(see README.txt^).
>> results\summary.txt echo Exit code: 3
type results\summary.txt
set /a kit_exit=3
goto :end_run

rem The kit's folder or the folder for temporary files cannot be named in
rem the ANSI code page: the programs would run, but not write their results.
:not_plain_folder
call :summary_head
type results\folders.txt >>results\summary.txt
call :remove_temp_folder
>> results\summary.txt echo Nothing was run.
>> results\summary.txt echo Exit code: 2
type results\summary.txt
set /a kit_exit=2
goto :end_run

rem Switches come only from a command line, so nothing waits for a key.
:unknown_switch
echo run-tests.cmd: unknown switch. Nothing was run.
echo Usage: run-tests.cmd [/nopause] [/otherdll] [/keeptemp]
exit /b 2

:no_kit_folder
for %%d in ("%~dp0") do echo run-tests.cmd: cannot work in its own folder, %%~d
echo On a network share no drive letter may be free, or access may be denied.
echo Copy the kit's folder to a local disk, for example C:\orbwick-tests,
echo and run it there. Nothing was run.
set /a kit_exit=2
goto :end_run

:no_results_folder
for %%d in ("%CD%") do echo run-tests.cmd: cannot write the folder results in %%~d
echo The kit's folder must be writable, and no file of an earlier run open.
echo Unpack the kit into a folder of your own, for example C:\orbwick-tests,
echo not under C:\Program Files or on a read-only share. Nothing was run.
set /a kit_exit=2
goto :end_run

rem Another run holds the lock: nothing of it is touched.
:another_run
for %%d in ("%CD%") do echo run-tests.cmd: another run is in progress in this folder, %%~d
echo Wait for it to end, or run the kit from a copy in another folder.
echo Nothing was run and nothing was deleted.
set /a kit_exit=2
goto :end_run

rem run_limited.exe ended without the run's own exit code: the run was
rem stopped, or run_limited.exe is not the kit's own and ran nothing.
:run_not_by_kit
echo run-tests.cmd: not a pass: the run under run_limited.exe's lock did not end as the kit's run does ^(exit code %kit_exit%^).
echo So nothing vouches for this run: no "Checked:" line of the kit's check, no SHA-256 of orbwick.dll, no count of test cases.
echo If the run was not stopped, run_limited.exe is not the kit's own: unpack the kit again from its zip, checked against SHA256SUMS.txt of the release ^(see README.txt^).
set /a kit_exit=1
goto :end_run
