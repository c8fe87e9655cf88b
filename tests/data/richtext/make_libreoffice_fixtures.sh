#!/usr/bin/env bash
# Makes the RTF fixtures that LibreOffice Writer writes, from the ODT and HTML sources beside
# them. The .rtf files are committed, so the reading tests need no LibreOffice; run this again
# (and review the differences) after changing a source.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)/libreoffice"
profile="$(mktemp -d)"
trap 'rm -rf "$profile"' EXIT
cd "$here"
soffice -env:UserInstallation="file://$profile" --headless --convert-to rtf formats.fodt
soffice -env:UserInstallation="file://$profile" --headless --infilter="HTML (StarWriter)" \
  --convert-to rtf web.html
