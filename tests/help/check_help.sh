#!/usr/bin/env bash
# The built help: every page reachable (no link to a missing page or picture), every page and
# picture inside Quorvandelia.chm and in its table of contents, and the manual page readable.
# Usage: check_help.sh HELP_DIR MANUAL_PAGE.gz   (HELP_DIR holds Quorvandelia.chm and ajuda/)
set -euo pipefail
dir=$1 man=$2
html=$dir/ajuda
fail=0
complain() { echo "FAIL: $*" >&2; fail=1; }

pages=$(cd "$html" && ls ./*.html | sed 's|^\./||')
[[ -n $pages ]] || complain "no HTML pages in $html"
for page in $pages; do
  # Local links and pictures (not http:, not mailto:), without their #anchors.
  for target in $(grep -oE '(href|src)="[^"#:]+(#[^"]*)?"' "$html/$page" | sed -E 's/^[a-z]+="//; s/"$//; s/#.*//'); do
    [[ -e $html/$target ]] || complain "$page links to missing $target"
  done
  # Anchors within the help: "page.html#anchor" must name an id of that page.
  for link in $(grep -oE 'href="[^":]+\.html#[^"]+"' "$html/$page" | sed -E 's/^href="//; s/"$//'); do
    file=${link%%#*} anchor=${link#*#}
    grep -q "id=\"$anchor\"" "$html/$file" || complain "$page links to missing anchor $link"
  done
done

if command -v chmls >/dev/null; then
  [[ -f $dir/Quorvandelia.chm ]] || complain "Quorvandelia.chm was not built"
  listing=$(chmls list "$dir/Quorvandelia.chm" 2>/dev/null | awk '{print $NF}')
  for f in $(cd "$html" && ls ./*.html ./*.png ./*.css | sed 's|^\./||'); do
    grep -qxF "/$f" <<<"$listing" || complain "Quorvandelia.chm lacks $f"
  done
  for page in $pages; do
    grep -qF "value=\"$page\"" "$html/Quorvandelia.hhc" || complain "the CHM contents lack $page"
  done
fi

gzip -t "$man" || complain "$man is not a valid gzip file"
zcat "$man" | grep -q '^\.TH "QUORVANDELIA-CLI" "1"' || complain "$man has no .TH line"
exit $fail
