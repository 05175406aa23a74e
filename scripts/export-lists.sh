# Sourced by the export checks: writing a committed list of exported names,
# and comparing what a library exports with one.

# write_export_list NAMES LIST: the names, one a line.
write_export_list() {
  printf '%s\n' "$1" >"$2"
  echo "check-exports: wrote $(printf '%s\n' "$1" | wc -l) names to $2"
}

# compare_export_list LIST LIBRARY NAMES WHAT HOW: 0 when LIBRARY exports
# NAMES exactly as LIST holds them; otherwise says that WHAT differ (and HOW
# LIST is made when it is missing) with the difference.
compare_export_list() {
  local list=$1 library=$2 names=$3 what=$4 how=$5 difference
  if [ ! -f "$list" ]; then
    echo "check-exports: $list is missing ($how)" >&2
    return 1
  fi
  if ! difference=$(diff -u --label "$list" --label "$library" "$list" <(printf '%s\n' "$names")); then
    echo "check-exports: $what of $library differ from $list" >&2
    printf '%s\n' "$difference" >&2
    return 1
  fi
}
