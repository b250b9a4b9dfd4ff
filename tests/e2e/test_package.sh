#!/usr/bin/env bash
# Builds the player the way a packager does (own hosts, the system's certificate store), installs
# it into a scratch folder and checks what lands there, validates the desktop entry and the
# AppStream metadata, builds the Debian package and checks its control fields and its contents,
# and starts the packaged program to see that its window's WM_CLASS is the one the desktop entry
# names. Nothing is installed into the system; everything made here is removed at the end.
# Usage: test_package.sh PROGRAM SOURCE_DIR BINARY_DIR (the program is not used: the package is
# built in a build folder of its own under BINARY_DIR)
set -euo pipefail
source_dir=$(cd "$2" && pwd)
binary_dir=$(cd "$3" && pwd)

app_id=net.ormelund.Radio
# Loopback values that differ from the defaults, so that the package shows they were compiled in.
api_host=localhost:9443
stream_host=127.0.0.1

for tool in cmake cpack dpkg-deb dpkg-shlibdeps file identify desktop-file-validate appstreamcli \
  xdotool xprop; do
  if ! command -v "$tool" >/dev/null; then
    echo "FAIL: $tool is missing (tools/install-deps.sh installs it)" >&2
    exit 1
  fi
done

work=$(mktemp -d "$binary_dir/package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
checks=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# check DESCRIPTION COMMAND...: counts a check; when the command fails, reports it with its output.
check() {
  local what=$1 output
  shift
  checks=$((checks + 1))
  if ! output=$("$@" 2>&1); then fail "$what${output:+: $output}"; fi
}
# check_silent DESCRIPTION COMMAND...: as check, and the command must print nothing.
check_silent() {
  local what=$1 output
  shift
  checks=$((checks + 1))
  if ! output=$("$@" 2>&1) || [ -n "$output" ]; then fail "$what${output:+: $output}"; fi
}
run_logged() { # run_logged LOG COMMAND...: quiet unless the command fails, then its log is shown
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "FAIL: $* (see above)" >&2
    exit 1
  fi
}

# --- Build and install as a packager does -------------------------------------------------------
run_logged "$work/configure.log" cmake -S "$source_dir" -B "$work/build" -DORMELUND_TESTS=OFF \
  -DORMELUND_API_HOST="$api_host" -DORMELUND_STREAM_HOST="$stream_host" \
  -DORMELUND_CA_FILE=
run_logged "$work/build.log" cmake --build "$work/build" -j2
check "the package build compiles without warnings: $(grep -m1 'warning:' "$work/build.log")" \
  bash -c '! grep -q "warning:" "$1"' _ "$work/build.log"
DESTDIR="$work/stage" run_logged "$work/install.log" cmake --install "$work/build" --prefix /usr

sizes=(256 128 64 48 32 16)
expected_files=(
  usr/bin/ormelund-radio
  "usr/share/applications/$app_id.desktop"
  "usr/share/metainfo/$app_id.metainfo.xml"
  usr/share/doc/ormelund-radio/copyright
)
for size in "${sizes[@]}"; do
  expected_files+=("usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done

desktop_value() { sed -n "s/^$2=//p" "$1"; }
# xml_value FILE PATH[@ATTRIBUTE]: the text (or the attribute) of the first element at PATH.
xml_value() {
  python3 -c '
import sys, xml.etree.ElementTree as ET
path, _, attribute = sys.argv[2].partition("@")
node = ET.parse(sys.argv[1]).getroot().find(path)
if node is not None:
    print(node.get(attribute, "") if attribute else (node.text or "").strip())' "$1" "$2"
}

# check_tree ROOT LABEL: the files of an installation under ROOT, as installed or as unpacked.
check_tree() {
  local root=$1 label=$2
  local listed expected
  listed=$(cd "$root" && find . ! -type d | sed 's|^\./||' | sort)
  expected=$(printf '%s\n' "${expected_files[@]}" | sort)
  check "$label: installs exactly the expected files; got:
$listed" [ "$listed" = "$expected" ]

  local program=$root/usr/bin/ormelund-radio
  check "$label: the program is an executable ELF file" \
    bash -c '[ -x "$1" ] && file -b "$1" | grep -q "^ELF"' _ "$program"
  check "$label: the program has the packager's service host compiled in" \
    grep -qaF "$api_host" "$program"
  check "$label: the program refers to no certificate file of the build" \
    bash -c '! grep -qaF ca.pem "$1"' _ "$program"

  for size in "${sizes[@]}"; do
    local icon=$root/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png
    check "$label: icon ${size}x$size is the program's icon of that size" \
      cmp -s "$icon" "$source_dir/resources/icons/icon-$size.png"
    check "$label: icon ${size}x$size has $size x $size pixels" \
      [ "$(identify -format '%w %h' "$icon" 2>&1)" = "$size $size" ]
  done

  local desktop=$root/usr/share/applications/$app_id.desktop
  check_silent "$label: desktop-file-validate" desktop-file-validate "$desktop"
  check "$label: the desktop entry is named Ormelund-Radio" \
    [ "$(desktop_value "$desktop" Name)" = Ormelund-Radio ]
  check "$label: the desktop entry starts the installed program" \
    [ "$root/usr/bin/$(desktop_value "$desktop" Exec)" = "$program" ]
  check "$label: the desktop entry's icon is the installed icon" \
    [ "$(desktop_value "$desktop" Icon)" = "$app_id" ]
  check "$label: the desktop entry's categories" \
    [ "$(desktop_value "$desktop" Categories)" = "AudioVideo;Audio;Player;" ]

  local metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
  check "$label: appstreamcli validate" appstreamcli validate --no-net "$metainfo"
  # The tree check also finds the desktop entry that the metadata launches; it passes an empty
  # tree too, so it must name the metadata file it checked.
  check "$label: appstreamcli validate-tree" bash -c \
    'output=$(appstreamcli validate-tree --no-net "$1" 2>&1) && grep -qF "$2" <<<"$output" ||
      { echo "$output"; false; }' _ "$root/usr" "$app_id.metainfo.xml"
  check "$label: the metadata's id is the application id" \
    [ "$(xml_value "$metainfo" id)" = "$app_id" ]
  check "$label: the metadata launches the installed desktop entry" \
    [ "$(xml_value "$metainfo" launchable)" = "$app_id.desktop" ]
  check "$label: the metadata's project licence is the repository's (MIT)" \
    bash -c '[ "$1" = MIT ] && grep -q "^MIT License" "$2"' _ \
    "$(xml_value "$metainfo" project_license)" "$source_dir/LICENSE"
  check "$label: the copyright file is the repository's licence" \
    cmp -s "$root/usr/share/doc/ormelund-radio/copyright" "$source_dir/LICENSE"
}

check_tree "$work/stage" install

# --- The Debian package -------------------------------------------------------------------------
(cd "$work/build" && run_logged "$work/cpack.log" cpack -G DEB -B "$work/package")
debs=("$work"/package/ormelund-radio_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: cpack made no single ormelund-radio_*.deb; it made: $(ls "$work/package")" >&2
  exit 1
fi
deb=${debs[0]}
field() { dpkg-deb -f "$deb" "$1"; }
check "package name" [ "$(field Package)" = ormelund-radio ]
check "package section is sound" [ "$(field Section)" = sound ]
check "package architecture is this machine's" \
  [ "$(field Architecture)" = "$(dpkg --print-architecture)" ]
check "package maintainer has a name and an address" \
  grep -qE '^[^<]+ <[^@>]+@[^>]+>$' <<<"$(field Maintainer)"
check "package description has a summary and a long text" [ "$(field Description | wc -l)" -ge 2 ]
release=$(xml_value "$work/stage/usr/share/metainfo/$app_id.metainfo.xml" releases/release@version)
check "package version $(field Version) is the metadata's newest release $release" \
  [ "$(field Version)" = "$release" ]
depends=$(field Depends)
# Versioned library dependencies are dpkg-shlibdeps' work; the sound output and the certificates
# are named by the build.
for package in libgtk-3-0 libwebkit2gtk-4.1-0 libcurl4 libc6 \
  gstreamer1.0-pulseaudio ca-certificates; do
  check "package depends on $package; Depends: $depends" \
    grep -qE "(^|, )$package( |,|$)" <<<"$depends"
done
check "library dependencies carry versions from the shared-library data; Depends: $depends" \
  grep -qE "(^|, )libcurl4 \(>= [0-9]" <<<"$depends"
check "every file in the package belongs to root" \
  bash -c '[ "$(dpkg-deb -c "$1" | awk "{print \$2}" | sort -u)" = root/root ]' _ "$deb"

dpkg-deb -x "$deb" "$work/root"
check_tree "$work/root" package
check "the packaged program is stripped" \
  bash -c 'file -b "$1" | grep -q ", stripped"' _ "$work/root/usr/bin/ormelund-radio"

# --- The running window matches the desktop entry ------------------------------------------------
# window_class PROGRAM FOLDER: starts PROGRAM with FOLDER as its home and prints the WM_CLASS of its
# first visible window (nothing if none appears within 30 s), then stops it.
window_class() {
  local program=$1 home=$2 pid window=""
  mkdir -p "$home"
  HOME=$home XDG_CONFIG_HOME=$home/.config NO_AT_BRIDGE=1 "$program" >"$home/program.log" 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -n "$window" ]; then xprop -id "$window" WM_CLASS; fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
program=$work/root/usr/bin/ormelund-radio
if [ -n "${DISPLAY:-}" ]; then
  wm_class=$(window_class "$program" "$work/home")
else
  export -f window_class
  wm_class=$("$source_dir/tools/with-display.sh" bash -c 'window_class "$@"' _ \
    "$program" "$work/home")
fi
startup_class=$(desktop_value "$work/root/usr/share/applications/$app_id.desktop" StartupWMClass)
class_of_window=$(sed -n 's/^WM_CLASS(STRING) = "[^"]*", "\(.*\)"$/\1/p' <<<"$wm_class")
check "the window's WM_CLASS class is the desktop entry's StartupWMClass '$startup_class'; the \
window has: ${wm_class:-no window}" [ "${startup_class:-?}" = "$class_of_window" ]

# --- A build whose certificate file lies in the build tree cannot be packaged --------------------
run_logged "$work/configure-default.log" \
  cmake -S "$source_dir" -B "$work/default" -DORMELUND_TESTS=OFF
check "cpack refuses to package a build whose certificate file lies in the build tree" \
  bash -c '! (cd "$1" && cpack -G DEB -B "$2") >"$3" 2>&1' _ \
  "$work/default" "$work/default-package" "$work/cpack-default.log"
check "cpack says why it refuses the build-tree certificate file" \
  grep -q "ORMELUND_CA_FILE=" "$work/cpack-default.log"
check "cpack refuses before it makes a package" \
  bash -c '! compgen -G "$1/*.deb" >/dev/null' _ "$work/default-package"

if [ $failures -eq 0 ]; then
  echo "package: ok, $(basename "$deb"), $checks checks"
else
  echo "package: $failures of $checks checks failed" >&2
fi
[ $failures -eq 0 ]
