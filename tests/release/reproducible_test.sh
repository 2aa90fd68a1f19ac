#!/bin/sh
# Builds the release a second time from a copy of the sources, in other
# folders, and compares it byte for byte with the release of the build tree:
# orbwick.dll, orbwick.dll.debug, the zip and SHA256SUMS (but for its line of
# the test kit). Only the product's tree is built (the DLL and the package),
# with the same time stamp.
#   reproducible_test.sh <source-dir> <package-dir> <source-date-epoch> <build-type> <source-commit-header>
# The commit named in the reference's version resource (its
# source_commit.h) is handed to the rebuild, which has no git.
set -eu
src=$1 reference=$2 epoch=$3 build_type=$4 commit_header=$5
commit=$(sed -n 's/^#define ORBWICK_SOURCE_COMMIT "\(.*\)"$/\1/p' "$commit_header")
work=$(mktemp -d /tmp/orbwick-rebuild.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "reproducible_test: $*" >&2; exit 1; }

# The sources as committed or changed in the checkout, without build trees.
mkdir "$work/sources"
if git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$src" && git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - 2>/dev/null) |
        tar -xf - -C "$work/sources"
else
    (cd "$src" && tar -cf - --exclude=./build .) | tar -xf - -C "$work/sources"
fi

cmake -S "$work/sources" -B "$work/rebuild" --toolchain "$work/sources/cmake/mingw-i686.cmake" \
    -DORBWICK_THREAD_MODEL=win32 -DORBWICK_PRODUCT_ONLY=ON -DCMAKE_BUILD_TYPE="$build_type" \
    -DORBWICK_SOURCE_DATE_EPOCH="$epoch" -DORBWICK_SOURCE_COMMIT="$commit" >"$work/build.log" 2>&1 &&
    cmake --build "$work/rebuild" -j2 >>"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "rebuild failed"; }

for file in orbwick.dll orbwick.dll.debug; do
    cmp "$reference/../bin/$file" "$work/rebuild/bin/$file" || fail "$file differs"
done
for file in $(cd "$work/rebuild/package" && ls *.zip); do
    cmp "$reference/$file" "$work/rebuild/package/$file" || fail "$file differs"
done
# The reference's SHA256SUMS also lists the test kit, which only the tests'
# tree builds: its other lines are the same.
grep -v ' orbwick-tests-' "$reference/SHA256SUMS" | cmp - "$work/rebuild/package/SHA256SUMS" ||
    fail "SHA256SUMS differs"
echo "reproducible_test: rebuilt in $work (commit $commit), bit-identical:"
(cd "$work/rebuild/package" && sha256sum *.zip orbwick.dll orbwick.dll.debug) | sed 's/^/  /'
