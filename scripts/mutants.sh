#!/bin/sh
# Measures how many realistic faults of the product the tests catch:
#   scripts/mutants.sh [--check] [<id>...]
#   scripts/mutants.sh --sample N --seed S [--area dll|reference|kit|native|all]
#                      [--since REV] [--dry-run] [<id>...]
#   scripts/mutants.sh --self-test
# The second form draws N mutants at random (the same N for the same seed,
# area and tree) from the mutation points of one area of the product's
# sources (by default the code linked into orbwick.dll), found by
# scripts/mutation_points.py with libclang, only from lines changed since git
# revision REV when given; see scripts/mutants-sample.sh. The third checks
# the sample's report of its baseline on a made-up one.
# Each mutant of scripts/mutants.list (or only the named ones) is applied on
# its own to a scratch copy of this tree (build/mutants/src, with build trees
# of its own), the code is rebuilt and the tests named for the mutant are run
# under Wine (or natively). Prints one line per mutant and the score:
#   caught    a test failed or crashed
#   timeout   a test ran out of its CTest time limit and none failed: not
#             counted as caught
#   SURVIVED  every test passed: the fault goes unnoticed
#   stale     its original text is not in the file exactly once, blanks and
#             line breaks aside (the list needs updating after a change of
#             the product); not counted
#   no-build  it does not compile; not counted
# --check only verifies that every mutant still applies, without building,
# and that every entry of scripts/mutants.equivalent still names the mutant
# and the line it was written for (it fails on a stale entry).
# The first run builds the scratch copy from nothing; the whole kept list
# takes about half an hour on the 2-core build machine. Not part of
# scripts/test.sh. Exit code 0 when every mutant applied and built and none
# survived, 1 otherwise, 2 when the tests fail without any mutant.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
work=${ORBWICK_MUTANTS_DIR:-$root/build/mutants}
list=${ORBWICK_MUTANTS_LIST:-$root/scripts/mutants.list}
src=$work/src
win32=$src/build/win32
native=$src/build/native
check_only=0
points=$work/points.tsv
if [ "${1:-}" = "--check" ]; then
    check_only=1
    shift
    # A folder of its own, so a check never rewrites the list a run is using.
    work=$work/check
    mkdir -p "$work"
fi
sample_args="$*"
sample_n="" seed="" dry_run=0 sample_only="" area=dll since=""
case "${1:-}" in
--self-test)
    . scripts/mutants-report.sh
    report_self_test
    exit
    ;;
--sample | --seed | --dry-run | --area | --since)
    while [ $# -gt 0 ]; do
        case $1 in
        --sample) sample_n=${2:-}; shift 2 || true ;;
        --seed) seed=${2:-}; shift 2 || true ;;
        --area) area=${2:-}; shift 2 || true ;;
        --since) since=${2:-}; shift 2 || { set -- bad; break; } ;;
        --dry-run) dry_run=1; shift ;;
        -*) set -- bad; break ;;
        *) sample_only="${sample_only:-} $1"; shift ;;
        esac
    done
    case $area in dll | reference | kit | native | all) ;; *) set -- bad ;; esac
    if [ $# -gt 0 ] || ! [ "$sample_n" -gt 0 ] 2>/dev/null || ! [ "$seed" -ge 0 ] 2>/dev/null ||
        { [ -n "$since" ] && ! git rev-parse -q --verify "$since^{commit}" >/dev/null; }; then
        echo "usage: $0 --sample N --seed S [--area dll|reference|kit|native|all] [--since REV] [--dry-run] [<id>...]" >&2
        exit 2
    fi
    ;;
esac

# The list, split into one folder per mutant: id, file, what, the test names
# of each kind, and the changes as pairs of files (N.old, N.new).
split_list() {
    rm -rf "$work/parsed"
    mkdir -p "$work/parsed"
    perl -e '
        use strict; use warnings;
        my ($list, $out) = @ARGV;
        open(my $in, "<", $list) or die "$list: $!\n";
        my ($n, $dir, $hunk, $side) = (0, "", 0, "");
        my %text;
        sub flush_hunk {
            return unless $hunk && %text;
            for my $s ("old", "new") {
                open(my $f, ">", "$dir/$hunk.$s") or die;
                print $f join("\n", @{ $text{$s} // [] });
                close $f;
            }
            %text = ();
        }
        sub put { my ($name, $value) = @_; open(my $f, ">", "$dir/$name") or die; print $f "$value\n"; close $f; }
        while (my $line = <$in>) {
            chomp $line;
            if ($line =~ /^== (\S+)\s*$/) {
                flush_hunk();
                $n++;
                $dir = sprintf("%s/%03d", $out, $n);
                mkdir $dir or die;
                put("id", $1);
                ($hunk, $side) = (0, "");
            } elsif ($dir eq "" || $line =~ /^#/ || $line =~ /^\s*$/ && $side eq "") {
                next;
            } elsif ($line =~ /^(file|what|env):\s*(.*)$/) {
                put($1, $2);
            } elsif ($line =~ /^tests:\s*(.*)$/) {
                my %kind = (win32 => [], native => []);
                my $current = "win32";
                for my $word (split " ", $1) {
                    if (exists $kind{$word}) { $current = $word; } else { push @{ $kind{$current} }, $word; }
                }
                put($_, join(" ", @{ $kind{$_} })) for keys %kind;
            } elsif ($line =~ /^([-+]) ?(.*)$/) {
                my $s = $1 eq "-" ? "old" : "new";
                if ($s eq "old" && $side ne "old") { flush_hunk(); $hunk++; }
                $side = $s;
                push @{ $text{$s} }, $2;
            } elsif ($line =~ /^\s*$/) {
                flush_hunk();
                $side = "";
            } else {
                die "$list:$.: not understood: $line\n";
            }
        }
        flush_hunk();
    ' "$list" "$work/parsed"
}

# Applies the changes of mutant folder $1 to file $2 in place. Exit code 3
# when an original text (blanks and line breaks aside) is not in the file
# exactly once.
apply_changes() {
    perl -e '
        use strict; use warnings;
        my ($dir, $file) = @ARGV;
        local $/;
        open(my $f, "<", $file) or die "$file: $!\n";
        my $text = <$f>;
        close $f;
        for (my $i = 1; -e "$dir/$i.old"; $i++) {
            open(my $o, "<", "$dir/$i.old") or die; my $old = <$o> // ""; close $o;
            open(my $n, "<", "$dir/$i.new") or die; my $new = <$n> // ""; close $n;
            # Blanks and line breaks are not compared, so the list survives
            # a change of layout; the replacement keeps its own.
            s/^\s+|\s+$//g for $old, $new;
            (my $bare = $old) =~ s/\s+//g;
            my $pattern = join("\\s*", map { quotemeta } split(//, $bare));
            my @at;
            push @at, [$-[0], $+[0] - $-[0]] while $text =~ /$pattern/g;
            exit 3 if @at != 1 || $old eq "";
            substr($text, $at[0][0], $at[0][1]) = $new;
        }
        open($f, ">", $file) or die "$file: $!\n";
        print $f $text;
        close $f;
    ' "$1" "$2"
}

field() { cat "$1/$2" 2>/dev/null || true; }

if [ $check_only = 1 ]; then
    split_list
    stale=0
    for dir in "$work"/parsed/*/; do
        cp "$root/$(field "$dir" file)" "$work/check.tmp"
        if ! apply_changes "$dir" "$work/check.tmp"; then
            echo "stale: $(field "$dir" id) ($(field "$dir" file))"
            stale=$((stale + 1))
        fi
    done
    rm -f "$work/check.tmp"
    echo "$(ls "$work/parsed" | wc -l) mutants, $stale stale"
    # The equivalent mutants of the seeded sample, each by the text of its
    # line (the point list is kept while the sources stay the same).
    scripts/bootstrap.sh
    /usr/bin/python3 scripts/mutation_points.py list "$root" "$points"
    /usr/bin/python3 scripts/mutation_points.py equivalent "$points" "$root" scripts/mutants.equivalent \
        >"$work/equivalent.txt"
    stale_equivalent=0
    while IFS="$(printf '\t')" read -r status id _ what; do
        if [ "$status" != ok ]; then
            echo "stale equivalent entry: $id ($what)"
            stale_equivalent=$((stale_equivalent + 1))
        fi
    done <"$work/equivalent.txt"
    echo "$(wc -l <"$work/equivalent.txt") equivalent entries, $stale_equivalent stale"
    [ $stale = 0 ] && [ $stale_equivalent = 0 ]
    exit
fi

# The scratch copy: every file of the tree that git does not ignore. Only
# files whose bytes differ are copied, so a second run rebuilds only what
# changed since the first.
copy_to_scratch() {
    mkdir -p "$src"
    git ls-files -co --exclude-standard | while IFS= read -r path; do
        [ -f "$path" ] || continue
        if ! cmp -s "$path" "$src/$path"; then
            mkdir -p "$src/$(dirname "$path")"
            cp "$path" "$src/$path"
        fi
    done
}

if [ -n "$sample_n" ]; then
    . scripts/mutants-sample.sh
    exit
fi

if [ "${ORBWICK_MUTANTS_INSIDE:-0}" != 1 ]; then
    scripts/bootstrap.sh
    copy_to_scratch
    echo "== building the scratch copy in $src"
    (cd "$src" && cmake --preset win32 >/dev/null && cmake --build --preset win32)
    if grep -Eq '^tests:.*(native|all)' "$list"; then
        (cd "$src" && cmake --preset native >/dev/null && cmake --build --preset native)
    fi
    # One private display and wineserver for all the runs below.
    exec env ORBWICK_MUTANTS_INSIDE=1 scripts/with-wine.sh "$win32" "$0" "$@"
fi

# The names of a "tests:" line are CTest names of the tree of their kind
# (win32 or native): the test programs, the script tests such as
# dll_imports_only_system_dlls, release_package_contents or
# lean_runtime_checks_throw, and for native gtest programs the program's
# name. The word "all" names every test of both trees, release checks
# included.

# True when the tests of mutant folder $1 include "all".
wants_all() { grep -qw all "$1/win32" "$1/native" 2>/dev/null; }

# Runs the tests named in mutant folder $1 on the current scratch build;
# fails when one of them fails. Output goes to $2.
run_tests() {
    status=0
    if wants_all "$1"; then
        ctest --test-dir "$win32" --timeout 600 --output-on-failure >>"$2" 2>&1 || status=1
        ctest --test-dir "$native" --timeout 600 --output-on-failure >>"$2" 2>&1 || status=1
        return $status
    fi
    names=$(field "$1" win32)
    if [ -n "$names" ]; then
        regex=$(echo "$names" | sed 's/ /|/g')
        # shellcheck disable=SC2046 # the settings are words of their own
        env $(field "$1" env) ctest --test-dir "$win32" -R "^($regex)\$" --timeout 300 --output-on-failure \
            >>"$2" 2>&1 || status=1
    fi
    for program in $(field "$1" native); do
        # A program CTest knows by its own name runs as CTest runs it (the
        # corpus replays take their corpus folder); a GoogleTest program,
        # whose cases CTest lists one by one, runs whole.
        if ctest --test-dir "$native" -N -R "^$program\$" | grep -q 'Total Tests: 1'; then
            ctest --test-dir "$native" -R "^$program\$" --timeout 300 --output-on-failure >>"$2" 2>&1 || status=1
        else
            timeout 300 "$native/bin/$program" --gtest_brief=1 >>"$2" 2>&1 ||
                { [ $? = 124 ] && echo "$program ***Timeout" >>"$2" || echo "$program ***Failed" >>"$2"; status=1; }
        fi
    done
    return $status
}

# Builds what the tests of mutant folder $1 need: the whole tree of each kind
# named (only what the mutant changed is compiled again), and the test kit
# when a release check is named. Output goes to $2.
build_for() {
    if wants_all "$1" || [ -n "$(field "$1" win32)" ]; then
        cmake --build "$win32" -j2 >>"$2" 2>&1 || return 1
        if wants_all "$1" || field "$1" win32 | grep -q 'release_'; then
            cmake --build "$win32" -j2 --target test_kit >>"$2" 2>&1 || return 1
        fi
    fi
    if wants_all "$1" || [ -n "$(field "$1" native)" ]; then
        cmake --build "$native" -j2 >>"$2" 2>&1 || return 1
    fi
}

split_list
mkdir -p "$work/logs"
if [ $# -gt 0 ]; then
    for dir in "$work"/parsed/*/; do
        keep=0
        for wanted in "$@"; do
            [ "$(field "$dir" id)" = "$wanted" ] && keep=1
        done
        [ $keep = 1 ] || rm -rf "$dir"
    done
fi

# Every test named anywhere must pass before any mutant is tried.
all=$work/parsed/all
mkdir -p "$all"
cat "$work"/parsed/[0-9]*/win32 | tr ' ' '\n' | sort -u | grep . | tr '\n' ' ' >"$all/win32" || true
cat "$work"/parsed/[0-9]*/native | tr ' ' '\n' | sort -u | grep . | tr '\n' ' ' >"$all/native" || true
echo "== the tests without any mutant: $(cat "$all/win32" "$all/native" | tr '\n' ' ')"
: >"$work/logs/baseline.log"
if ! build_for "$all" "$work/logs/baseline.log" || ! run_tests "$all" "$work/logs/baseline.log"; then
    echo "the tests fail without any mutant: see $work/logs/baseline.log" >&2
    exit 2
fi

caught=0 survived=0 stale=0 nobuild=0 timedout=0
table=$work/results.txt
: >"$table"
for dir in "$work"/parsed/[0-9]*/; do
    id=$(field "$dir" id)
    file=$(field "$dir" file)
    log=$work/logs/$id.log
    : >"$log"
    started=$(date +%s)
    cp "$src/$file" "$work/original"
    if ! apply_changes "$dir" "$src/$file"; then
        result=stale
    elif ! build_for "$dir" "$log"; then
        result=no-build
    elif run_tests "$dir" "$log"; then
        result=SURVIVED
    elif grep -q '\*\*\*Timeout' "$log" && ! grep -Eq '\*\*\*(Failed|Exception|Not Run)' "$log"; then
        # CTest's verdict of each test: only time limits ran out.
        result=timeout
    else
        result=caught
    fi
    # Back to the original bytes with a new time, so the next build compiles
    # the file again.
    cp "$work/original" "$src/$file"
    touch "$src/$file"
    case $result in
        caught) caught=$((caught + 1)) ;;
        SURVIVED) survived=$((survived + 1)) ;;
        stale) stale=$((stale + 1)) ;;
        no-build) nobuild=$((nobuild + 1)) ;;
        timeout) timedout=$((timedout + 1)) ;;
    esac
    line=$(printf '%-42s %-9s %4ss  %s' "$id" "$result" $(($(date +%s) - started)) "$(field "$dir" what)")
    echo "$line"
    echo "$line" >>"$table"
done

counted=$((caught + survived))
echo
echo "caught $caught of $counted mutants that change behaviour" \
    "($(( counted > 0 ? caught * 100 / counted : 0 )) %); survived $survived, stale $stale, no-build $nobuild," \
    "timed out $timedout"
echo "(table in $table, logs in $work/logs)"
[ $survived = 0 ] && [ $stale = 0 ] && [ $nobuild = 0 ] && [ $timedout = 0 ]
