#!/usr/bin/env bash
# Writes the table fuzz target's seed inputs into fuzz/corpus/table/ from tables made by tblmake:
#   fuzz/make-table-seeds.sh [TBLMAKE]     (default: build/dev/tools/tblmake)
# Each seed is the data file, "\n--idx--\n" and the index file, and "\n--blb--\n" and the BLOB file when
# the table has one (the layout fuzz/table.cpp splits).
set -euo pipefail
cd "$(dirname "$0")/.."
tblmake=${1:-build/dev/tools/tblmake}
out=fuzz/corpus/table
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_seed() { # NAME SCHEMA ROWS
  local name=$1
  printf '%s' "$2" > "$work/$name.schema"
  printf '%b' "$3" > "$work/$name.tsv"
  "$tblmake" --force "$work" T "$work/$name.schema" "$work/$name.tsv"
  {
    cat "$work/T.dat"
    if [ -f "$work/T.idx" ]; then printf '\n--idx--\n'; cat "$work/T.idx"; fi
    if [ -f "$work/T.blb" ]; then printf '\n--blb--\n'; cat "$work/T.blb"; fi
  } > "$out/$name"
  rm -f "$work"/T.*
}

mkdir -p "$out"

# The translations table as the program reads it.
make_seed language $'field Nr integer required\nfield Lang0 string 40\nfield Lang1 string 40\nfield Lang2 string 40\nfield Lang3 string 40\nfield Lang4 string 40\nprimary Nr\noption pagesize 1024\n' \
  '1\tStart\tStart\tStart\tStart\tD\xc3\xa9marrer\n2\tStop\tHalt\tStopp\tStop\tArr\xc3\xaat\n3\tAccept\tAkkoord\tAkzeptieren\tAccept\tAccepter\n'

# Every kind of field, memos and BLOBs in small blocks, a secondary index, a deleted record.
make_seed types $'field Id autoinc\nfield Name string 20 upper\nfield Day date\nfield At time\nfield Stamp timestamp\nfield Flag boolean\nfield Small smallint\nfield W word\nfield Big largeint\nfield F float\nfield Money currency\nfield Amount bcd decimals=2\nfield Raw bytes 4\nfield Var varbytes 6\nfield G guid 38\nfield Wide widestring 8\nfield Note memo compress=6\nfield Data blob\nprimary Id\nindex ByName Name/d,Day nocase compress=full\nindex ByBig Big unique compress=dupbyte\noption pagesize 1024\noption blocksize 64\n' \
  '1\tAlpha\t2024-01-02\t03:04:05.006\t2024-01-02 03:04:05.006\tTrue\t-7\t65535\t-9000000000\t1.5\t12.34\t99.99\t01020304\taabb\t{11111111-2222-3333-4444-555555555555}\tw\xc3\xa9de\tshort memo\t00ff00ff\n2\tBeta\t1999-12-31\t23:59:59\t1999-12-31 23:59:59\tFalse\t7\t0\t42\t-0.25\t-1\t0\t\\N\t\\N\t\\N\t\\N\ta memo long enough to need more than one block of sixty-four bytes, repeated: a memo long enough to need more than one block\t\\N\n\\D\t3\tGone\t2000-01-01\t00:00:00\t2000-01-01 00:00:00\tTrue\t0\t1\t1\t0\t0\t0\t00\t00\t\\N\t\\N\tdeleted\t00\n4\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t7\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\n'

# An encrypted table (the fuzz target knows the password).
make_seed encrypted $'field Nr integer\nfield Text string 30\nprimary Nr\noption password Geheim\noption pagesize 1024\n' \
  '10\tone\n20\ttwo\n30\tthree\n'

# Without a primary key: the automatic index on the record ID.
make_seed plain $'field Text string 12\nfield N smallint\noption pagesize 1024\n' 'b\t2\na\t1\nc\t3\n'
# Three-level trees: 800 rows keyed by a 30-character text (28 keys per leaf, 25 per node) in a secondary
# index beside the automatic primary index.
rows=''
for i in $(seq 1 800); do rows+="$i"$'\t'"$(printf 'k%029d' $(( (i * 7919) % 800 )))"$'\n'; done
make_seed multilevel $'field N integer\nfield K string 30\nprimary N\nindex ByK K\noption pagesize 1024\n' "$rows"

# BLOB chains of several blocks each, stored and compressed, with a null memo among them.
rows=''
for i in $(seq 1 20); do
  memo=$(printf 'chain %02d ' "$i"; head -c $(( i * 37 )) /dev/zero | tr '\0' "$(printf "\\$(printf '%03o' $(( 97 + i % 26 )))")")
  [ "$i" -eq 7 ] && memo='\N'
  rows+="$i"$'\t'"$memo"$'\t'"$memo"$'\n'
done
make_seed chains $'field N integer\nfield Plain memo\nfield Packed memo compress=6\nprimary N\noption pagesize 1024\noption blocksize 64\n' "$rows"
echo "seeds written to $out"
