# How the seeded sample reports its baseline (sourced by
# scripts/mutants-sample.sh, and by scripts/mutants.sh --self-test, which
# runs these functions on a made-up baseline). A baseline file has a line a
# test: kind/name TAB pass, fail or timeout TAB seconds.

# The tests that did not pass on baseline $1: "kind/name (fail), ..."; empty
# when every one passed.
baseline_failures() {
    awk -F '\t' '$2 != "pass" { printf "%s%s (%s)", sep, $1, $2; sep = ", " }' "$1"
}

# The line after the baseline $1 ran, in $2 seconds.
baseline_line() {
    failed=$(baseline_failures "$1")
    echo "baseline: $(wc -l <"$1") tests, $(awk -F '\t' '$2 != "pass"' "$1" | wc -l) failed or ran" \
        "out of time without any mutant${failed:+ (not judged: $failed)}; $2 s"
}

# The tests of a plan's row ($1: kind/name, separated by commas) that judge:
# those that passed on baseline $2, cheapest first ("kind name" lines).
judging_tests() {
    echo "$1" | tr ',' '\n' | grep . | while read -r test; do
        awk -F '\t' -v t="$test" '$1 == t && $2 == "pass" { print $3 "\t" $1 }' "$2"
    done | sort -n -k1,1 | cut -f2 | tr '/' ' '
}

# The sample's closing lines: $1 caught of $2 (seed $3, area $4), $5
# equivalent, $6 did not build, $7 timed out; the baseline $8.
sample_result() {
    echo "mutation sample: $1 of $2 caught (seed $3, area $4), $5 equivalent, $6 did not build, $7 timed out"
    failed=$(baseline_failures "$8")
    echo "baseline failures: ${failed:-none}"
}

# The report of a made-up baseline with a failed test and one out of time,
# and of one where every test passed. Exit code 1 when a line is not as it
# should be.
report_self_test() {
    made_up=$(mktemp -d)
    printf 'win32/a_test\tpass\t3\nwin32/b_test\tfail\t5\nnative/c_test\ttimeout\t600\nkit/kit_run_test\tpass\t1\n' \
        >"$made_up/failing"
    grep pass "$made_up/failing" >"$made_up/passing"
    # Each row: what the report printed, then what it should print.
    rows=$(
        echo "$(sample_result 1 2 7 dll 0 0 0 "$made_up/failing" | tail -n 1)"
        echo "baseline failures: win32/b_test (fail), native/c_test (timeout)"
        echo "$(baseline_line "$made_up/failing" 9)"
        echo "baseline: 4 tests, 2 failed or ran out of time without any mutant (not judged:" \
            "win32/b_test (fail), native/c_test (timeout)); 9 s"
        echo "judging: $(judging_tests win32/b_test,native/c_test,win32/a_test,kit/kit_run_test "$made_up/failing" |
            tr '\n' ';')"
        echo "judging: kit kit_run_test;win32 a_test;"
        echo "$(sample_result 2 2 7 dll 0 0 0 "$made_up/passing" | tail -n 1)"
        echo "baseline failures: none"
    )
    rm -rf "$made_up"
    wrong=$(echo "$rows" | awk 'NR % 2 == 1 { got = $0 } NR % 2 == 0 && got != $0 {
        printf "printed: %s\n  wanted: %s\n", got, $0 }')
    if [ -n "$wrong" ]; then
        echo "mutants.sh self-test: the baseline's report is wrong:" >&2
        echo "$wrong" >&2
        return 1
    fi
    echo "mutants.sh self-test: a test that fails or runs out of time on the baseline is reported and judges nothing"
}
