# The seeded sample of scripts/mutants.sh (sourced by it, from the tree's
# root, with $root, $work, $src, $win32, $native, $sample_n, $seed, $dry_run
# and $sample_args set):
#   scripts/mutants.sh --sample N --seed S [--dry-run] [<id>...]
# (ids: only those mutants of the sample)
#
# Mutation points: scripts/mutation_points.py parses the product's sources
# (daemon/, cfgfile/, hostif/, sysutils/, packaging/test-kit/) with libclang
# and lists every point of seven operators, each one text edit with a stable
# id. N of them are drawn uniformly with the seed S. --dry-run lists them and
# the number of points.
#
# A run judges each mutant by the tests that execute its line, taken from a
# coverage map: the tree is built once more with gcc's --coverage (Win32 and
# native, in $work/coverage) and every test program runs alone, its counts
# written under a folder of its own (GCOV_PREFIX; the Win32 programs and
# orbwick.dll write them under Wine through the drive Z:). A line without
# code of its own (a constant, a declaration) takes every test that executes
# a line of its file. The mutant is built in the scratch copy and those tests
# run cheapest first until one fails:
#   caught      a test failed, crashed or ran out of time
#   SURVIVED    every test passed, or no test executes the line
#   equivalent  listed in scripts/mutants.equivalent with its reason; not run
#   no-build    it does not compile
# The coverage map is made anew when the code or the tests changed (about 8
# minutes, the life-cycle explorer and the stress test most of it).

py=/usr/bin/python3
points_py=$root/scripts/mutation_points.py
equivalent_list=$root/scripts/mutants.equivalent
points=$work/points.tsv
coverage=$work/coverage
cov_win32=$coverage/win32
cov_native=$coverage/native
mkdir -p "$work"

if [ "${ORBWICK_MUTANTS_INSIDE:-0}" != 1 ]; then
    scripts/bootstrap.sh
    $py "$points_py" list "$root" "$points"
fi
sample=$work/sample-$seed-$sample_n.tsv
$py "$points_py" sample "$points" "$seed" "$sample_n" >"$sample"
# Only the named mutants of the sample (a second look at its survivors).
if [ -n "${sample_only:-}" ]; then
    for wanted in $sample_only; do
        grep -q "^$wanted$(printf '\t')" "$sample" || { echo "$wanted is not in this sample" >&2; exit 2; }
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
    while IFS="$(printf '\t')" read -r id file line start end op original replacement; do
        printf '%-58s %s\n' "$id" "$(describe "$id" "$file" "$line" "$start" "$end" "$op" "$original" "$replacement")"
    done <"$sample"
    echo "mutation points: $($py "$points_py" summary "$points")"
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

# The test kit of build tree $1, unpacked into $2, checked by its own test.
run_kit_test() {
    cmake --build "$1" -j2 --target test_kit >/dev/null || return 1
    rm -rf "$2"
    mkdir -p "$2"
    (cd "$2" && cmake -E tar xf "$(ls "$1"/test-kit/orbwick-tests-*-win32.zip)") || return 1
    sh "$src/tests/release/kit_run_test.sh" "$(ls -d "$2"/orbwick-tests-*-win32)" "$1/bin/kit_hang_probe.exe"
}

# The coverage map: each test program alone, its counts in a folder of its
# own, then gcov over them. The release checks need the test kit and run no
# code of the product.
if [ ! -s "$coverage/map.tsv" ]; then
    echo "== the coverage map: every test alone in $coverage"
    counts=$coverage/counts
    rm -rf "$counts"
    mkdir -p "$counts"
    : >"$coverage/timings.tsv"
    for name in $(ctest --test-dir "$cov_win32" -N -LE release | sed -n 's/^ *Test *#[0-9]*: //p'); do
        started=$(date +%s)
        status=pass
        GCOV_PREFIX="Z:$counts/win32/$name" ctest --test-dir "$cov_win32" -R "^$name\$" --timeout 900 \
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
    GCOV_PREFIX="Z:$counts/kit/kit_run_test" run_kit_test "$cov_win32" "$coverage/kit" >"$coverage/kit_run_test.log" 2>&1 ||
        status=fail
    printf 'kit\tkit_run_test\t%s\t%s\n' $(($(date +%s) - started)) $status >>"$coverage/timings.tsv"
    echo "   kit kit_run_test: $status, $(($(date +%s) - started)) s"
    $py "$points_py" covermap "$counts" "$src" "$coverage/map.tsv"
    mv "$coverage/stamp.new" "$coverage/stamp" 2>/dev/null || true
fi
if grep -q 'fail$' "$coverage/timings.tsv"; then
    echo "not used, they fail without any mutant:" $(grep 'fail$' "$coverage/timings.tsv" | cut -f2)
fi

# The targets of the scratch Win32 tree (a test program is the target of
# its name).
win32_targets=$(cmake --build "$win32" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')

# Applies point $1 to the scratch copy and builds what tests $2 ("kind name"
# lines) need: the DLL, the host and the programs of those tests (neither
# the benchmarks nor other programs), the test kit for its check.
build_mutant() {
    $py "$points_py" apply "$points" "$1" "$src" || return 1
    targets="orbwick norvhost"
    for name in $(echo "$2" | sed -n 's/^win32 //p'); do
        if echo "$win32_targets" | grep -qx "$name"; then
            targets="$targets $name"
        fi
    done
    case $2 in *kit\ *) targets="$targets test_kit" ;; esac
    case $2 in *win32\ * | *kit\ *)
        # shellcheck disable=SC2086
        cmake --build "$win32" -j2 --target $targets >>"$log" 2>&1 || return 1 ;;
    esac
    case $2 in *native\ *) cmake --build "$native" -j2 >>"$log" 2>&1 || return 1 ;; esac
    return 0
}

# Runs one test of the scratch build; fails when it fails.
run_one() {
    if [ "$1" = win32 ]; then
        ctest --test-dir "$win32" -R "^$2\$" --timeout 600 --output-on-failure </dev/null >>"$log" 2>&1
    elif [ "$1" = kit ]; then
        run_kit_test "$win32" "$work/kit" </dev/null >>"$log" 2>&1
    elif [ "$2" = "${2%_replay}" ]; then
        timeout 600 "$native/bin/$2" --gtest_brief=1 </dev/null >>"$log" 2>&1
    else
        ctest --test-dir "$native" -R "^$2\$" --timeout 600 --output-on-failure </dev/null >>"$log" 2>&1
    fi
}

mkdir -p "$work/logs"
table=$work/results-$seed-$sample_n${sample_only:+-again}.txt
: >"$table"
caught=0 equivalent=0 nobuild=0 total=0
while IFS="$(printf '\t')" read -r id file line start end op original replacement <&3; do
    total=$((total + 1))
    log=$work/logs/$(echo "$id" | tr '/:' '__').log
    : >"$log"
    started=$(date +%s)
    reason=$(awk -v id="$id" '$1 == id { $1 = ""; sub(/^ +/, ""); print; exit }' "$equivalent_list" 2>/dev/null)
    tests=$($py "$points_py" tests "$coverage/map.tsv" "$coverage/timings.tsv" "$file" "$line")
    by=""
    if [ -n "$reason" ]; then
        result=equivalent
        by="($reason)"
    elif [ -z "$tests" ]; then
        result=SURVIVED
        by="(no test executes line $line)"
    else
        cp "$src/$file" "$work/original"
        if ! build_mutant "$id" "$tests"; then
            result=no-build
        else
            result=SURVIVED
            by="(passed: $(echo "$tests" | cut -d' ' -f2 | tr '\n' ' '))"
            # shellcheck disable=SC2086
            while read -r kind name; do
                if ! run_one "$kind" "$name"; then
                    result=caught
                    by="(by $name)"
                    break
                fi
            done <<EOF
$tests
EOF
        fi
        # Back to the original bytes with a new time, so the next build
        # compiles the file again.
        cp "$work/original" "$src/$file"
        touch "$src/$file"
    fi
    case $result in
        caught) caught=$((caught + 1)) ;;
        equivalent) equivalent=$((equivalent + 1)) ;;
        no-build) nobuild=$((nobuild + 1)) ;;
    esac
    out=$(printf '%-58s %-10s %4ss  %s %s' "$id" "$result" $(($(date +%s) - started)) \
        "$(describe "$id" "$file" "$line" "$start" "$end" "$op" "$original" "$replacement")" "$by")
    echo "$out"
    echo "$out" >>"$table"
done 3<"$sample"
# The tree built as it is again.
cmake --build "$win32" -j2 >/dev/null 2>&1 || true
cmake --build "$native" -j2 >/dev/null 2>&1 || true
echo "mutation sample: $caught of $total caught (seed $seed), $equivalent equivalent, $nobuild did not build" |
    tee -a "$table"
judged=$((total - equivalent - nobuild))
echo "($(( judged > 0 ? caught * 100 / judged : 0 )) % of the $judged that built and are not equivalent;" \
    "table in $table, logs in $work/logs)"
[ $caught = $judged ]
