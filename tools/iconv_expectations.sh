#!/usr/bin/env bash
# Prints what the iconv command-line tool makes of the conversions whose
# expected bytes the character-set tests hold (tests/kernel/runtime_io/
# charset_test.cpp, conversions through glibc's pages). A character the
# target page lacks shows as "unmappable at N"; the kernel writes '_' there.
# The Mac pages glibc lacks come from tools/gen_charset_tables.pl instead.
set -u
cases=(
  'caf\xe9 CP1252 CP850'
  'caf\x82 CP850 CP1252'
  'caf\xe9 CP1252 CP1251'
  'caf\xe9 CP1252 MACINTOSH'
  '\x82\xa0 CP932 CP1252'
  '\xc6\xc6 CP1251 CP932'
  '\x84\x47 CP932 CP1251'
  'a\xe0\xe9 CP1258 CP1252'
  'a\xe0\xe9 CP1252 CP1258'
  'Ab1\x20 CP1252 CP1255'
  '\xe9 CP1252 CP437'
  '\xf0 CP1252 CP437'
)
for c in "${cases[@]}"; do
  read -r bytes from to <<<"$c"
  if err=$(printf "$bytes" | iconv -f "$from" -t "$to" 2>&1 >/dev/null) && [ -z "$err" ]; then
    out=$(printf "$bytes" | iconv -f "$from" -t "$to" | xxd -p)
    printf '%-14s %-9s -> %-9s %s\n' "$bytes" "$from" "$to" "$out"
  else
    pos=$(grep -o 'position [0-9]*' <<<"$err")
    printf '%-14s %-9s -> %-9s unmappable at %s\n' "$bytes" "$from" "$to" "${pos#position }"
  fi
done
