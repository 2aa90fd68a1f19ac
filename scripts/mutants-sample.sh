# The seeded sample of scripts/mutants.sh (sourced by it, from the tree's
# root, with $root, $work, $src, $win32, $native, $points, $sample_n, $seed,
# $area, $since, $dry_run and $sample_args set):
#   scripts/mutants.sh --sample N --seed S [--area dll|reference|kit|native|all]
#                      [--since REV] [--dry-run] [<id>...]
# (ids: only those mutants of the sample)
#
# Mutation points: scripts/mutation_points.py parses the product's sources
# (daemon/, cfgfile/, hostif/, sysutils/, packaging/test-kit/) with libclang
# and lists every point of seven operators, each one text edit with a stable
# id. Each point belongs to an area, by what the linker put into orbwick.dll
# (the release build's map, build/win32/product/daemon/orbwick.map, built
# first when it is missing or older than the product's sources or build
# files): "dll", the sources whose objects the map names and the code of
# headers their code reaches; "reference", the product's other code (the
# general configuration reader, cfgfile/cfgfile.cpp, which the fuzzers and
# tests compare against); "kit", the test kit's runner (packaging/test-kit/);
# "native", the native stand-ins (*_native.cpp), which only the native tests
# build. N points of the area (dll unless --area says otherwise; all: every
# point) are drawn uniformly with the seed S, with --since REV only from the
# points whose edit touches a line changed since git revision REV (git diff
# REV, the tree as it is, and files git does not know). --dry-run lists them
# and prints the points of each area and what the sample draws from.
#
# A run judges each mutant by the tests that execute its line, taken from a
# coverage map: the tree is built once more with gcc's --coverage (Win32 and
# native, in $work/coverage) and every test program runs alone, its counts
# written under a folder of its own (GCOV_PREFIX; the Win32 programs and
# orbwick.dll write them under Wine through the drive Z:). A line without
# code of its own (a constant, a declaration) takes every test that executes
# a line of its file. The map is made with the tests' seeds fixed at 1 (see
# below), and anew when the code or the tests changed.
#
# Then, before any mutant, the baseline: every test the sample's mutants
# would run is built and run once on the unmutated scratch copy, with the
# same environment and time limit as the mutants get. A test that fails or
# runs out of time there is reported and judges no mutant. Each mutant is
# then built in the scratch copy and its tests run cheapest first (by their
# baseline time) up to the first that fails:
#   caught      a test that passed on the baseline failed or crashed
#   timeout     a test ran out of its time limit (three times its baseline
#               time and a minute, at most the limit below), and out of twice
#               that when run once more, and no test before it failed: not
#               caught.
#               The tests after it are not run: a mutant that makes one test
#               hang mostly makes every test of its line hang, and each would
#               cost its limit three times over
#   SURVIVED    every test passed, or no test executes the line
#   equivalent  listed in scripts/mutants.equivalent with its reason, its
#               line's text, its original and its replacement, which all
#               still match; not run (an entry of which one no longer
#               matches is stale: the mutant runs)
#   no-build    it does not compile
#   unjudged    every test that executes it failed on the baseline
#
# The tests' own random seeds are fixed for the whole sample and printed:
# the engine's (ORBWICK_SEED) and the stress test's (ORBWICK_STRESS_SEED) are each
# the sample's seed unless set in the environment; the baseline and every
# mutant run with the same. ORBWICK_MUTANT_TIMEOUT sets the time limit of one
# test run in seconds (600; the tests' own CTest limits do not apply): the
# baseline's, and the most a test gets with a mutant.

. scripts/mutants-report.sh
py=/usr/bin/python3
points_py=$root/scripts/mutation_points.py
equivalent_list=$root/scripts/mutants.equivalent
coverage=$work/coverage
cov_win32=$coverage/win32
cov_native=$coverage/native
limit=${ORBWICK_MUTANT_TIMEOUT:-600}
tab=$(printf '\t')
mkdir -p "$work"

export ORBWICK_STRESS_SEED="${ORBWICK_STRESS_SEED:-$seed}"
export ORBWICK_SEED="${ORBWICK_SEED:-$seed}"

# The sources linked into orbwick.dll, read from the release build's linker
# map before the run goes into its private display. The DLL is built (only
# what changed) when the map is missing or the product's sources or build
# files changed since the list was read.
product=$root/build/win32/product
dll_map=$product/daemon/orbwick.map
linked=$work/linked.txt
if [ "${ORBWICK_MUTANTS_INSIDE:-0}" != 1 ]; then
    scripts/bootstrap.sh
    $py "$points_py" list "$root" "$points"
    if [ ! -s "$linked" ] || [ ! -f "$dll_map" ] ||
        [ -n "$(find daemon cfgfile hostif sysutils cmake CMakeLists.txt "$dll_map" -type f -newer "$linked" |
            head -n 1)" ]; then
        echo "== building orbwick.dll for its linker map ($dll_map)"
        if ! { cmake --preset win32 && cmake --build --preset win32 --target orbwick; } >"$work/dll-build.log" 2>&1; then
            echo "orbwick.dll does not build (see $work/dll-build.log); the sample's areas come from its linker" \
                "map: cmake --preset win32 && cmake --build --preset win32 --target orbwick" >&2
            exit 2
        fi
        $py "$points_py" linked "$product" "$root" >"$linked.new"
        mv "$linked.new" "$linked"
    fi
fi
sample=$work/sample-$area-$seed-$sample_n${since:+-since}.tsv
$py "$points_py" sample "$points" "$seed" "$sample_n" "$area" "$linked" "$root" ${since:+"$since"} >"$sample"
if [ ! -s "$sample" ] && [ $dry_run = 0 ]; then
    echo "mutation sample: no point to draw (area $area${since:+, on lines changed since $since})"
    exit 0
fi
# Only the named mutants of the sample (a second look at its survivors).
if [ -n "${sample_only:-}" ]; then
    for wanted in $sample_only; do
        grep -q "^$wanted$tab" "$sample" || { echo "$wanted is not in this sample" >&2; exit 2; }
    done
    awk -F '\t' -v only=" $sample_only " 'index(only, " " $1 " ") > 0' "$sample" >"$sample.only"
    sample=$sample.only
fi

# One line of the sample: id, place, operator, the edit.
describe() {
    printf '%s:%s  %s  %s -> %s' "$2" "$3" "$6" "$(printf '%s' "$7" | sed 's/\\[nt]/ /g' | tr -s ' ' | cut -c1-60)" \
        "$(printf '%s' "$8" | sed 's/\\[nt]/ /g' | tr -s ' ' | cut -c1-64)"
}

if [ $dry_run = 1 ]; then
    while IFS="$tab" read -r id file line start end op original replacement _; do
        printf '%-58s %s\n' "$id" "$(describe "$id" "$file" "$line" "$start" "$end" "$op" "$original" "$replacement")"
    done <"$sample"
    $py "$points_py" summary "$points" "$area" "$linked" "$root" ${since:+"$since"}
    exit 0
fi

# The state of the code and the tests the coverage map belongs to.
tree_stamp() {
    git ls-files -co --exclude-standard '*.cpp' '*.h' '*.def' '*.cmake' '*CMakeLists.txt' '*.in' '*.cmd' \
        tests/release/kit_run_test.sh | sort | xargs -d '\n' cat 2>/dev/null | sha256sum | cut -d' ' -f1
}

if [ "${ORBWICK_MUTANTS_INSIDE:-0}" != 1 ]; then
    copy_to_scratch
    echo "== building the scratch copy in $src"
    (cd "$src" && cmake --preset win32 >/dev/null && cmake --build --preset win32 >/dev/null)
    (cd "$src" && cmake --preset native >/dev/null && cmake --build --preset native >/dev/null)
    if [ "$(cat "$coverage/stamp" 2>/dev/null)" != "$(tree_stamp)" ]; then
        rm -f "$coverage/map.tsv"
        echo "== building the coverage trees in $coverage"
        # Without optimisation, so that every line keeps its own counts. The
        # DLL's own tree (an external project) takes the flags from the
        # environment when it is configured.
        export CXXFLAGS=--coverage CFLAGS=--coverage LDFLAGS=--coverage
        (cd "$src" && cmake -S . -B "$cov_win32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
            -DORBWICK_THREAD_MODEL=win32 -DCMAKE_BUILD_TYPE=Debug >/dev/null &&
            cmake --build "$cov_win32" -j2 >/dev/null)
        (cd "$src" && cmake -S . -B "$cov_native" -DCMAKE_BUILD_TYPE=Debug -DORBWICK_SANITIZE=OFF >/dev/null &&
            cmake --build "$cov_native" -j2 >/dev/null)
        unset CXXFLAGS CFLAGS LDFLAGS
        tree_stamp >"$coverage/stamp.new"
    fi
    exec env ORBWICK_MUTANTS_INSIDE=1 scripts/with-wine.sh "$win32" "$0" $sample_args
fi

# The test kit of build tree $1, unpacked into $2, checked by its own test
# within $3 seconds (timeout's exit code 124 when it runs out).
run_kit_test() {
    cmake --build "$1" -j2 --target test_kit >/dev/null || return 1
    rm -rf "$2"
    mkdir -p "$2"
    (cd "$2" && cmake -E tar xf "$(ls "$1"/test-kit/orbwick-tests-*-win32.zip)") || return 1
    timeout -k 10 "$3" sh "$src/tests/release/kit_run_test.sh" "$(ls -d "$2"/orbwick-tests-*-win32)" \
        "$1/bin/kit_hang_probe.exe"
}

# The coverage map: each test program alone, its counts in a folder of its
# own, then gcov over them, with the tests' seeds fixed at 1 whatever the
# sample's. The release checks need the test kit and run no code of the
# product.
if [ ! -s "$coverage/map.tsv" ]; then
    echo "== the coverage map: every test alone in $coverage"
    map_started=$(date +%s)
    counts=$coverage/counts
    rm -rf "$counts"
    mkdir -p "$counts"
    : >"$coverage/timings.tsv"
    for name in $(ctest --test-dir "$cov_win32" -N -LE release | sed -n 's/^ *Test *#[0-9]*: //p'); do
        started=$(date +%s)
        status=pass
        # As CTest runs it, but within 900 s rather than the test's own limit:
        # the unoptimised build is slower.
        GCOV_PREFIX="Z:$counts/win32/$name" ORBWICK_SEED=1 ORBWICK_STRESS_SEED=1 \
            timeout -k 10 900 sh -c "$($py "$points_py" command "$cov_win32" "$name")" </dev/null \
            >"$coverage/$name.log" 2>&1 || status=fail
        printf 'win32\t%s\t%s\t%s\n' "$name" $(($(date +%s) - started)) $status >>"$coverage/timings.tsv"
        echo "   win32 $name: $status, $(($(date +%s) - started)) s"
    done
    for name in cfgfile_tests module_table_tests fuzz_corpus_replay section_corpus_replay; do
        started=$(date +%s)
        status=pass
        if [ "$name" = "${name%_replay}" ]; then
            GCOV_PREFIX="$counts/native/$name" timeout 600 "$cov_native/bin/$name" --gtest_brief=1 \
                >"$coverage/$name.log" 2>&1 || status=fail
        else
            GCOV_PREFIX="$counts/native/$name" ctest --test-dir "$cov_native" -R "^$name\$" --timeout 600 \
                >"$coverage/$name.log" 2>&1 || status=fail
        fi
        printf 'native\t%s\t%s\t%s\n' "$name" $(($(date +%s) - started)) $status >>"$coverage/timings.tsv"
        echo "   native $name: $status, $(($(date +%s) - started)) s"
    done
    # The kit's own check runs run_limited.exe (the kit runner) on the
    # unpacked kit.
    started=$(date +%s)
    status=pass
    GCOV_PREFIX="Z:$counts/kit/kit_run_test" run_kit_test "$cov_win32" "$coverage/kit" 900 \
        >"$coverage/kit_run_test.log" 2>&1 || status=fail
    printf 'kit\tkit_run_test\t%s\t%s\n' $(($(date +%s) - started)) $status >>"$coverage/timings.tsv"
    echo "   kit kit_run_test: $status, $(($(date +%s) - started)) s"
    $py "$points_py" covermap "$counts" "$src" "$coverage/map.tsv"
    mv "$coverage/stamp.new" "$coverage/stamp" 2>/dev/null || true
    echo "   (the coverage map took $(($(date +%s) - map_started)) s)"
fi
if grep -q 'fail$' "$coverage/timings.tsv"; then
    echo "left out of the coverage map, they fail there:" $(grep 'fail$' "$coverage/timings.tsv" | cut -f2)
fi

# The targets of the scratch Win32 tree (a test program is the target of
# its name).
win32_targets=$(cmake --build "$win32" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')

# Builds what tests $1 ("kind name" lines) need in the scratch copy as it
# stands: the DLL, the host and the programs of those tests (neither the
# benchmarks nor other programs), the test kit for its check.
build_for_tests() {
    targets="orbwick norvhost"
    for name in $(echo "$1" | sed -n 's/^win32 //p'); do
        if echo "$win32_targets" | grep -qx "$name"; then
            targets="$targets $name"
        fi
    done
    case $1 in *kit\ *) targets="$targets test_kit" ;; esac
    case $1 in *win32\ * | *kit\ *)
        # shellcheck disable=SC2086
        cmake --build "$win32" -j2 --target $targets >>"$log" 2>&1 || return 1 ;;
    esac
    case $1 in *native\ *) cmake --build "$native" -j2 >>"$log" 2>&1 || return 1 ;; esac
    return 0
}

# Runs test $2 of kind $1 once on the scratch build within $3 seconds.
# Exit code 0 when it passed, 1 when it failed, 2 when it ran out of time.
run_one() {
    set +e
    if [ "$1" = kit ]; then
        run_kit_test "$win32" "$work/kit" "$3" </dev/null >>"$log" 2>&1
    elif [ "$1" = native ] && [ "$2" = "${2%_replay}" ]; then
        timeout -k 10 "$3" "$native/bin/$2" --gtest_brief=1 </dev/null >>"$log" 2>&1
    else
        # As CTest runs it, but within this limit rather than the test's own.
        tree=$win32
        [ "$1" = native ] && tree=$native
        timeout -k 10 "$3" sh -c "$($py "$points_py" command "$tree" "$2")" </dev/null >>"$log" 2>&1
    fi
    status=$?
    set -e
    case $status in
        0) return 0 ;;
        124 | 137) echo "== $2 ran out of its $3 s" >>"$log"; return 2 ;;
        *) return 1 ;;
    esac
}

# The tests of each mutant, and whether an equivalent entry still holds
# (its line, original and replacement all match).
plan=$work/plan-$area-$seed-$sample_n.tsv
: >"$plan"
$py "$points_py" equivalent "$points" "$src" "$equivalent_list" >"$work/equivalent-now.tsv"
while IFS="$tab" read -r id file line start end op original replacement _ <&3; do
    reason="" stale_entry=""
    entry=$(awk -F '\t' -v id="$id" '$2 == id { print; exit }' "$work/equivalent-now.tsv")
    if [ -n "$entry" ]; then
        if [ "$(printf '%s\n' "$entry" | cut -f1)" = ok ]; then
            reason=$(printf '%s\n' "$entry" | cut -f3)
        else
            stale_entry=1
        fi
    fi
    tests=$($py "$points_py" tests "$coverage/map.tsv" "$coverage/timings.tsv" "$file" "$line" | tr ' \n' '/,')
    printf '%s\t%s\t%s\t%s\n' "$id" "$reason" "$stale_entry" "$tests" >>"$plan"
done 3<"$sample"

echo "== sample of $(wc -l <"$sample") mutants, seed $seed, area $area; the tests' seeds:" \
    "ORBWICK_SEED=$ORBWICK_SEED ORBWICK_STRESS_SEED=$ORBWICK_STRESS_SEED;" \
    "time limit $limit s a test"

# The baseline: every test a mutant of the sample would run, once, on the
# unmutated scratch copy.
mkdir -p "$work/logs"
baseline=$work/baseline-$area-$seed-$sample_n.tsv
: >"$baseline"
wanted=$(awk -F '\t' '$2 == "" { print $4 }' "$plan" | tr ',' '\n' | grep . | sort -u | tr '/' ' ')
log=$work/logs/baseline.log
: >"$log"
baseline_started=$(date +%s)
if [ -n "$wanted" ]; then
    echo "== the baseline: $(echo "$wanted" | wc -l) tests without any mutant"
    if ! build_for_tests "$wanted"; then
        echo "the unmutated scratch copy does not build: see $log" >&2
        exit 2
    fi
    while read -r kind name; do
        started=$(date +%s)
        outcome=pass
        run_one "$kind" "$name" "$limit" || { [ $? = 2 ] && outcome=timeout || outcome=fail; }
        printf '%s/%s\t%s\t%s\n' "$kind" "$name" "$outcome" $(($(date +%s) - started)) >>"$baseline"
        echo "   $kind $name: $outcome, $(($(date +%s) - started)) s"
    done <<EOF
$wanted
EOF
fi
baseline_line "$baseline" $(($(date +%s) - baseline_started))

# A test's time limit with a mutant: three times its baseline time and a
# minute, at most the limit. A mutant that makes a test loop then costs
# minutes, not three times the limit, and no test gets less than the
# unmutated build needed by far.
limit_of() {
    awk -F '\t' -v t="$1/$2" -v max="$limit" '$1 == t { l = $3 * 3 + 60; print (l < max ? l : max); exit }' "$baseline"
}

table=$work/results-$area-$seed-$sample_n${since:+-since}${sample_only:+-again}.txt
: >"$table"
caught=0 equivalent=0 nobuild=0 timedout=0 unjudged=0 total=0
while IFS="$tab" read -r id file line start end op original replacement _ <&3; do
    total=$((total + 1))
    log=$work/logs/$(echo "$id" | tr '/:' '__').log
    : >"$log"
    started=$(date +%s)
    row=$(awk -F '\t' -v id="$id" '$1 == id { print; exit }' "$plan")
    reason=$(printf '%s\n' "$row" | cut -f2)
    stale_entry=$(printf '%s\n' "$row" | cut -f3)
    covering=$(printf '%s\n' "$row" | cut -f4)
    tests=$(judging_tests "$covering" "$baseline")
    by=""
    if [ -n "$reason" ]; then
        result=equivalent
        by="($reason)"
    elif [ -z "$covering" ]; then
        result=SURVIVED
        by="(no test executes line $line)"
    elif [ -z "$tests" ]; then
        result=unjudged
        by="(every test that executes it failed on the baseline: $(echo "$covering" | tr ',' ' '))"
    else
        cp "$src/$file" "$work/original"
        if ! $py "$points_py" apply "$points" "$id" "$src" >>"$log" 2>&1 || ! build_for_tests "$tests"; then
            result=no-build
        else
            result=SURVIVED
            ran_out=""
            while read -r kind name; do
                test_limit=$(limit_of "$kind" "$name")
                run_one "$kind" "$name" "$test_limit" && continue
                if [ $? = 2 ]; then
                    run_one "$kind" "$name" $((test_limit * 2)) && continue
                    if [ $? = 2 ]; then
                        ran_out=" $name (out of $test_limit s, then of $((test_limit * 2)) s)"
                        break
                    fi
                fi
                result=caught
                by="(by $name)"
                break
            done <<EOF
$tests
EOF
            if [ $result = SURVIVED ] && [ -n "$ran_out" ]; then
                result=timeout
                by="(ran out:$ran_out; the tests after it not run)"
            elif [ $result = SURVIVED ]; then
                by="(passed: $(echo "$tests" | cut -d' ' -f2 | tr '\n' ' '))"
            fi
        fi
        # Back to the original bytes with a new time, so the next build
        # compiles the file again.
        cp "$work/original" "$src/$file"
        touch "$src/$file"
    fi
    [ -n "$stale_entry" ] && by="$by (its equivalent entry is stale: the line changed)"
    case $result in
        caught) caught=$((caught + 1)) ;;
        equivalent) equivalent=$((equivalent + 1)) ;;
        no-build) nobuild=$((nobuild + 1)) ;;
        timeout) timedout=$((timedout + 1)) ;;
        unjudged) unjudged=$((unjudged + 1)) ;;
    esac
    out=$(printf '%-58s %-10s %4ss  %s %s' "$id" "$result" $(($(date +%s) - started)) \
        "$(describe "$id" "$file" "$line" "$start" "$end" "$op" "$original" "$replacement")" "$by")
    echo "$out"
    echo "$out" >>"$table"
done 3<"$sample"
# The tree built as it is again.
cmake --build "$win32" -j2 >/dev/null 2>&1 || true
cmake --build "$native" -j2 >/dev/null 2>&1 || true
sample_result $caught $total "$seed" "$area${since:+, since $since}" $equivalent $nobuild $timedout "$baseline" |
    tee -a "$table"
judged=$((total - equivalent - nobuild - timedout - unjudged))
echo "($(( judged > 0 ? caught * 100 / judged : 0 )) % of the $judged that built, are not equivalent and" \
    "ended in time; $((judged - caught)) survived, $unjudged not judged; table in $table, logs in $work/logs)"
[ $caught = $judged ] && [ $timedout = 0 ] && [ $unjudged = 0 ]
