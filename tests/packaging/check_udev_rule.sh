#!/usr/bin/env bash
# The udev rule must parse: udevadm verify where this udev has it, else a
# check of every line's key/operator/value syntax.
set -euo pipefail
rule=$1/packaging/udev/70-draftwell-ant-sticks.rules
[ -f "$rule" ] || { echo "missing $rule"; exit 1; }
if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rule"
  exit 0
fi
key='[A-Z][A-Z_]*(\{[^}]*\})?'
op='(==|!=|=|\+=|-=|:=)'
value='"[^"]*"'
pair="$key$op$value"
n=0
while IFS= read -r line || [ -n "$line" ]; do
  n=$((n + 1))
  case "$line" in ''|'#'*) continue ;; esac
  if ! printf '%s\n' "$line" | grep -Eq "^$pair(, *$pair)*\$"; then
    echo "line $n does not parse: $line"
    exit 1
  fi
  grep -q '0fcf' <<<"$line" || { echo "line $n does not match the ANT vendor 0fcf: $line"; exit 1; }
done <"$rule"
grep -q 'TAG+="uaccess"' "$rule" || { echo "no uaccess tag"; exit 1; }
grep -q 'SYMLINK+=' "$rule" || { echo "no tty symlink"; exit 1; }
echo "udev rule parses ($n lines)"
