#!/usr/bin/env bash
# Every text of the user interface has its translation in every .ts file: lupdate is run over
# the sources into a copy of each file, and an entry it adds or leaves unfinished fails.
# Usage: check_translations.sh LUPDATE SOURCE_DIR
set -euo pipefail
lupdate=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for ts in "$source_dir"/translations/kestrovamail_*.ts; do
  copy="$work/$(basename "$ts")"
  cp "$ts" "$copy"
  (cd "$source_dir" && "$lupdate" -silent -no-obsolete -locations none -I . \
     dialogs window app -ts "$copy")
  if grep -q 'type="unfinished"' "$copy"; then
    echo "$(basename "$ts"): texts without translation (cmake --build build --target update_translations, then translate):" >&2
    grep -B2 'type="unfinished"' "$copy" | grep '<source>' >&2
    status=1
  fi
done
exit $status
