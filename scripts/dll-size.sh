#!/bin/sh
# What orbwick.dll is made of, from the linker's map of the release build
# (build/win32/product/daemon/orbwick.map): the bytes of code (.text),
# read-only data (.rdata), unwind tables (.eh_frame) and data (.data) that
# each library, and each of the largest objects, brings into the DLL. Headers,
# the import and relocation tables and the padding between sections are not
# counted, so the total is somewhat below the DLL's size.
#   scripts/dll-size.sh [<map>] [<number of objects to list>]
set -eu
cd "$(dirname "$0")/.."
map=${1:-build/win32/product/daemon/orbwick.map}
top=${2:-15}
[ -f "$map" ] || { echo "dll-size: no linker map $map (build the win32 preset first)" >&2; exit 1; }
perl -e '
    use strict; use warnings;
    my ($map, $top) = @ARGV;
    my %kinds = (text => 1, rdata => 1, eh_frame => 1, data => 1);
    my (%library, %object, $pending);
    open(my $in, "<", $map) or die "$map: $!\n";
    while (my $line = <$in>) {
        # An input section: " .text  0xADDRESS  0xSIZE  file", the name on a
        # line of its own when it is long.
        if ($line =~ /^ \.(\w+)\S*\s*$/) { $pending = $1; next; }
        my ($kind, $size, $file);
        if ($line =~ /^ \.(\w+)\S*\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)/) {
            ($kind, $size, $file) = ($1, hex $2, $3);
        } elsif (defined $pending && $line =~ /^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)/) {
            ($kind, $size, $file) = ($pending, hex $1, $2);
        }
        undef $pending;
        next unless defined $kind && $kinds{$kind} && $size > 0;
        $file =~ s{.*/}{};
        (my $lib = $file) =~ s/\(.*//;
        $lib = "objects.a (daemon/*.cpp)" if $lib eq "objects.a";
        $library{$lib}{$kind} += $size;
        $object{$file}{$kind} += $size;
    }
    sub total { my $s = shift; my $t = 0; $t += $_ for values %$s; return $t; }
    sub table {
        my ($title, $rows, $limit) = @_;
        my @names = sort { total($rows->{$b}) <=> total($rows->{$a}) || $a cmp $b } keys %$rows;
        splice(@names, $limit) if defined $limit && @names > $limit;
        printf "%-54s %8s %7s %7s %7s %6s\n", $title, "bytes", ".text", ".rdata", ".eh", ".data";
        for my $n (@names) {
            my $s = $rows->{$n};
            printf "%-54s %8d %7d %7d %7d %6d\n", $n, total($s), map { $s->{$_} // 0 } qw(text rdata eh_frame data);
        }
    }
    my $all = 0;
    $all += total($_) for values %library;
    table("library or object file", \%library);
    printf "%-54s %8d\n\n", "total", $all;
    table("the $top largest objects", \%object, $top);
' "$map" "$top"
