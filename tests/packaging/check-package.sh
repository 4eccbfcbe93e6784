#!/usr/bin/env bash
# Checks the Debian package as a lab computer gets it: unpacked into a temporary root, its
# programs must run from there and print the package's version without a display; each must have
# a manual page that names every option its --help lists; the console must open and close its
# window; the desktop entry and the AppStream metadata must pass their validators, and the entry
# must name a program and an icon the package holds; the declared dependencies must cover every
# shared library a program links; and lintian must find no error (its warnings are printed).
#   tests/packaging/check-package.sh [PACKAGE.deb]   (default: the one scripts/package.sh made)
set -euo pipefail
cd "$(dirname "$0")/../.."

deb=${1:-}
if [ -z "$deb" ]; then
    debs=(build/release/package/orvello_*.deb)
    [ -f "${debs[0]}" ] || { echo "check-package: no package; run scripts/package.sh" >&2; exit 1; }
    deb=${debs[0]}
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orvello-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)

failures=0
fail() {
    echo "check-package: FAILED: $*" >&2
    failures=$((failures + 1))
}

# Without a display, as over ssh: asking for the version or the help must not need one.
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

for program in orvello orvello-rig; do
    [ -x "$root/usr/bin/$program" ] || fail "$program is not in /usr/bin"
done

for binary in "$root"/usr/bin/*; do
    program=$(basename "$binary")
    answer=$("${no_display[@]}" timeout 30 "$binary" --version 2>&1) || fail "$program --version: $answer"
    [ "${answer##* }" = "$version" ] || fail "$program --version says '$answer', the package is $version"

    page=$root/usr/share/man/man1/$program.1.gz
    if [ ! -f "$page" ]; then
        fail "$program has no manual page"
        continue
    fi
    help=$("${no_display[@]}" timeout 30 "$binary" --help 2>&1) || fail "$program --help: $help"
    # The page's text with roff's escaped hyphens as plain ones.
    text=$(zcat "$page" | sed 's/\\-/-/g')
    mapfile -t options < <(grep -oE '^[[:space:]]+-[^[:space:],]+(, -[^[:space:],]+)*' <<<"$help" |
        tr ',' '\n' | sed 's/^[[:space:]]*//; s/[[:space:]]*$//' | grep .)
    [ "${#options[@]}" -gt 0 ] || fail "$program --help lists no options"
    for option in "${options[@]}"; do
        grep -qE -- "(^|[^-[:alnum:]])${option}([^-[:alnum:]]|$)" <<<"$text" ||
            fail "the manual page of $program does not name $option, which its --help lists"
    done
done

# The packaged console opens its window and closes it, stopping nothing, with exit 0.
mkdir -p "$work/run" "$work/xdg" && chmod 700 "$work/xdg"
echo close >"$work/close.txt"
(cd "$work/run" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/xdg" \
    timeout 120 "$root/usr/bin/orvello" --operator-script "$work/close.txt" >"$work/console.log" 2>&1) ||
    fail "the packaged console did not open and close cleanly: $(cat "$work/console.log")"

entry=$root/usr/share/applications/orvello.desktop
if [ -f "$entry" ]; then
    report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
    grep -q "warning" <<<"$report" && fail "desktop-file-validate: $report"
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$root/usr/bin/$exec_program" ] || fail "the desktop entry starts '$exec_program', not in /usr/bin"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    compgen -G "$root/usr/share/icons/hicolor/*/apps/$icon.*" >/dev/null ||
        fail "the desktop entry's icon '$icon' is not in the package"
else
    fail "no desktop entry orvello.desktop"
fi
# The metadata with the desktop entry it names, as software centres read them once installed.
report=$(appstreamcli validate-tree --no-net --pedantic "$root" 2>&1) || fail "appstreamcli: $report"
compgen -G "$root/usr/share/metainfo/*.metainfo.xml" >/dev/null || fail "no AppStream metadata"

# Every library a program links directly must come from a package it depends on.
links=() # "program library path", one for each library each program links
while IFS= read -r -d '' file; do
    [ "$(head -c 4 "$file" | tr -d '\0')" = $'\x7fELF' ] || continue
    libraries=$(ldd "$file")
    for needed in $(objdump -p "$file" | awk '$1 == "NEEDED" { print $2 }'); do
        path=$(awk -v lib="$needed" '$1 == lib && $2 == "=>" { print $3 }' <<<"$libraries")
        if [ -z "$path" ] || [ "$path" = "not" ]; then
            fail "$(basename "$file") links $needed, which is not on this machine"
        else
            links+=("$(basename "$file") $needed $path")
        fi
    done
done < <(find "$root" -type f -print0)
# dpkg knows a library by the path its package ships, on either side of the /usr merge; one
# query for them all, as each one reads dpkg's whole database.
mapfile -t paths < <(for link in "${links[@]}"; do
    path=${link##* }
    printf '%s\n' "$path" "${path#/usr}" "/usr${path#/usr}"
done | sort -u)
owners=$(dpkg -S "${paths[@]}" 2>/dev/null || true)
declared=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/[[:space:]]//g')
for link in "${links[@]}"; do
    read -r program needed path <<<"$link"
    owner=$(awk -v a="$path" -v b="${path#/usr}" -v c="/usr${path#/usr}" \
        '$NF == a || $NF == b || $NF == c { sub(/:.*/, ""); print; exit }' <<<"$owners")
    if [ -z "$owner" ]; then
        fail "$program links $path, which no Debian package holds"
    elif ! grep -qxF "$owner" <<<"$declared"; then
        fail "$program links $needed from $owner, which the package does not depend on"
    fi
done

# Errors fail; warnings are for the reader (each one kept on purpose is named in the notes).
if ! lintian --fail-on error "$deb"; then
    fail "lintian found errors"
fi

if [ "$failures" -gt 0 ]; then
    echo "check-package: $failures check(s) failed for $deb" >&2
    exit 1
fi
echo "check-package: $deb ($(du -k "$deb" | cut -f1) KiB, version $version) passes"
