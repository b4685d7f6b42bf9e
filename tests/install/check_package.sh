#!/usr/bin/env bash
# Installs the program as a user would: cmake --install into a prefix, and the Debian package
# (built with cpack) into a temporary root with dpkg. Checks the files, the package's
# dependencies, the desktop entry, the AppStream metadata, the manual page, the changelog, the
# bash completion and the systemd user unit, and runs the installed program.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

expected=(
  bin/kestrovamail
  share/applications/kestrovamail.desktop
  share/icons/hicolor/scalable/apps/kestrovamail.svg
  share/icons/hicolor/256x256/apps/kestrovamail.png
  lib/systemd/user/kestrovamail.service
  share/man/man1/kestrovamail.1.gz
  share/doc/kestrovamail/copyright
  share/doc/kestrovamail/changelog.gz
  share/metainfo/com.zentrivo.kestrovamail.metainfo.xml
  share/bash-completion/completions/kestrovamail
  share/kestrovamail/translations/kestrovamail_en.qm
)

# cmake --install
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in "${expected[@]}"; do [ -e "$work/prefix/$f" ] || fail "cmake --install left out $f"; done
grep -qx "ExecStart=$work/prefix/bin/kestrovamail --headless" \
  "$work/prefix/lib/systemd/user/kestrovamail.service" || fail "unit does not start the installed program"

# The Debian package, installed with dpkg into an empty root.
(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/kestrovamail_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6gui6 libgstreamer1.0-0 libjpeg62-turbo libnettle8 libssl3 \
         libqt6svg6 gstreamer1.0-plugins-base gstreamer1.0-plugins-good fonts-ipafont-gothic; do
  [[ ", $depends," == *", $d"[\ ,]* ]] || fail "the package does not depend on $d: $depends"
done
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg --root="$root" --log=/dev/null --force-depends --force-not-root -i "$deb" >/dev/null \
  || fail "dpkg could not install $deb"
dpkg --root="$root" -s kestrovamail | grep -q '^Status: install ok installed' || fail "not installed"
for f in "${expected[@]}"; do [ -e "$root/usr/$f" ] || fail "the package left out /usr/$f"; done
[ "$(stat -c %a "$root/usr/bin/kestrovamail")" = 755 ] || fail "the executable is not 755"

unit="$root/usr/lib/systemd/user/kestrovamail.service"
for line in "ExecStart=/usr/bin/kestrovamail --headless" "Restart=on-failure" \
            "Environment=KESTROVAMAIL_HOME=%h/.local/share/KestrovaMail" "WantedBy=default.target"; do
  grep -qxF "$line" "$unit" || fail "the unit lacks \"$line\""
done
desktop="$root/usr/share/applications/kestrovamail.desktop"
grep -qx "Exec=kestrovamail" "$desktop" && grep -qx "Icon=kestrovamail" "$desktop" \
  || fail "the desktop entry does not start the program with its icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate refused the entry"
fi
appstreamcli validate --no-net "$root/usr/share/metainfo/com.zentrivo.kestrovamail.metainfo.xml" \
  >/dev/null || fail "appstreamcli refused the metainfo"
grep -q '<launchable type="desktop-id">kestrovamail.desktop</launchable>' \
  "$root/usr/share/metainfo/com.zentrivo.kestrovamail.metainfo.xml" || fail "the metainfo launches no entry"

# The manual page renders without a warning and lists every option of --help.
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/kestrovamail.1.gz" 2>&1 >"$work/man.txt")
[ -z "$man_warnings" ] || fail "the manual page renders with warnings: $man_warnings"
for option in $(LC_ALL=C "$root/usr/bin/kestrovamail" --help | grep -oE -- '--[a-z-]+' | sort -u); do
  grep -q -- "$option" "$work/man.txt" || fail "the manual page lacks $option"
done
for section in "Exit status" ENVIRONMENT FILES EXAMPLES; do
  grep -q "$section" "$work/man.txt" || fail "the manual page has no $section"
done

# The changelog names the package's version; the copyright file names the licence.
version=$(dpkg-deb -f "$deb" Version)
zcat "$root/usr/share/doc/kestrovamail/changelog.gz" | head -n1 | grep -q "^kestrovamail ($version)" \
  || fail "changelog.gz does not start with version $version"
grep -qx "License: GPL-3+" "$root/usr/share/doc/kestrovamail/copyright" || fail "copyright names no licence"

file "$root/usr/share/icons/hicolor/256x256/apps/kestrovamail.png" | grep -q "256 x 256" \
  || fail "the PNG icon is not 256 x 256"

# The installed program runs, without a display, and keeps its files where it is told.
# The whole help first: grep -q stopping early would cut the pipe under pipefail once the help
# is longer than one write.
help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/kestrovamail" --help) \
  || fail "the installed program does not run"
grep -q -- "--headless" <<<"$help" || fail "the installed program's help lists no --headless"
# Its help and its complaints follow the locale: Japanese as written, English from the
# installed translation.
while IFS='|' read -r locale arguments expected; do
  read -ra arguments <<<"$arguments"
  said=$(env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG="$locale" "$root/usr/bin/kestrovamail" \
    "${arguments[@]}" 2>&1 || true)
  [[ ${said%%$'\n'*} == *"$expected"* ]] \
    || fail "kestrovamail ${arguments[*]} under $locale does not say \"$expected\""
done <<'LOCALES'
en_US.UTF-8|--help|Usage: kestrovamail
ja_JP.UTF-8|--help|使い方: kestrovamail
C.UTF-8|--nonsense|unknown option "--nonsense"
ja_JP.UTF-8|--device|--device には値が必要です
LOCALES
mkdir -p -m 700 "$work/home" # the program refuses a folder others may write
KESTROVAMAIL_HOME="$work/home" "$root/usr/bin/kestrovamail" --set MAIL.CHECK_STRING=photo
grep -q "CHECK_STRING=photo" "$work/home/setup.ini" || fail "--set did not reach setup.ini"
# Bash completion: option names, --set with the names --show-settings lists, --set-password.
if [ -r /usr/share/bash-completion/bash_completion ]; then
  complete_line() {
    KESTROVAMAIL_HOME="$work/home" bash -c '
      source /usr/share/bash-completion/bash_completion
      source "$1"; shift
      COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _kestrovamail "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
      printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/kestrovamail" \
      "$root/usr/bin/kestrovamail" "$@"
  }
  while IFS='|' read -r words expected; do
    read -ra line <<<"$words"
    [[ $words == *" " ]] && line+=("")
    # Whole output first: grep -q stopping early would fail the pipe under pipefail.
    offered=$(complete_line "${line[@]}" 2>/dev/null)
    grep -qx -- "$expected" <<<"$offered" \
      || fail "completing \"$words\" does not offer $expected"
  done <<'COMPLETIONS'
--che|--check-once
--set MAIL.POP3_SE|MAIL.POP3_SERVER=
--set MAIL.CHECK|MAIL.CHECK_STRING=
--set-password |smtp
--set-password o|oauth-client
--sign|--sign-in
--tr|--trace
COMPLETIONS
fi
echo "package $(basename "$deb") installs and runs"
