#!/usr/bin/env bash
# run-demo.sh BUILD [READER]: the reader's main road under Wine, in a demo prefix of its own
# (BUILD/demo-prefix). READER is the program to run (by default BUILD's own reader), for example
# the shipped one of dist/ with the probe and fake engine of the i686 tree BUILD, which must be of
# the reader's architecture. A 32-bit reader needs a host that runs 32-bit user code (natively or
# through the emulation that scripts/setup registers).
#
# The prefix gets what the installer would write: "language" = "english" under
# HKLM\SOFTWARE\ORVEL, the application key and the read hot key Ctrl+Shift+F9. With a display
# the reader simply starts there. Without one, a private Xvfb is started and the demo shows the
# main road: the reader starts with two voices of a fake SAPI engine that records what it is
# asked to speak, the second being the reader's stored voice; Notepad opens a sample text of three
# lines with Polish letters; the middle line alone is selected and the read hot key pressed; the
# demo prints what the voice was asked to speak, with which voice, volume and rate (exactly the
# selected line, with the stored voice, volume and rate, or the run fails), and takes screenshots
# of the dialog while it speaks (BUILD/demo-dialog.png, the whole screen in
# BUILD/demo-screenshot.png) and folded (BUILD/demo-dialog-folded.png). Then it closes the reader
# and checks that it ended. ORV_DEMO_ROAD=1 shows the main road on the display
# there is (a test run's private Xvfb) instead of simply starting the reader on it.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
scripts=$src/scripts

exe=${2:-"$build/reader/bin/Orvel Murmelin.exe"}
probe=$build/demo/reader_probe.exe
if [ ! -f "$exe" ] || [ ! -f "$probe" ]; then
    echo "run-demo: no $exe or no $probe: build the reader and the probe first (cmake --build $build)" >&2
    exit 1
fi
machine() { od -An -tx2 -j $(( $(od -An -tu4 -j 60 -N4 "$1") + 4 )) -N2 "$1" | tr -d ' '; }
if [ "$(machine "$exe")" != "$(machine "$probe")" ]; then
    echo "run-demo: $exe and the probe of $build are built for different processors" >&2
    exit 1
fi
# PE machine field: 0x14c is i386, which needs a host that runs 32-bit Windows programs.
if [ "$(machine "$exe")" = 014c ] && ! why=$("$scripts/ia32-wine"); then
    echo "run-demo: $exe is a 32-bit program, which cannot run here: $why;" >&2
    echo "          pass the 64-bit build tree instead." >&2
    exit 1
fi

prefix=$build/demo-prefix
export WINEPREFIX=$prefix
# The Wine of the tree's architecture, as its tests use it.
ORV_WINE_ARCH=$(sed -n 's/^export ORV_WINE_ARCH=//p' "$build/wine-run" 2>/dev/null)
export ORV_WINE_ARCH=${ORV_WINE_ARCH:-win64}
. "$scripts/wine-env"
"$scripts/wine-prefix" "$prefix" || exit 1

probe() { "$WINELOADER" "$probe" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

if [ -z "${ORV_DEMO_INSIDE:-}" ]; then
    # As the installer does: the language of the installation, the application key and the read
    # hot key. The reader keeps its keys in the 32-bit registry view, whichever build runs.
    "$WINELOADER" reg add 'HKLM\SOFTWARE\ORVEL' /v language /t REG_SZ /d english /f /reg:32 >/dev/null 2>&1 \
        || { echo "run-demo: could not write the language into $prefix" >&2; exit 1; }
    "$WINELOADER" reg add 'HKLM\SOFTWARE\Orvel\Orvel Murmelin' /f /reg:32 >/dev/null 2>&1
    for v in alt:0 ctrl:1 shift:1 key_code:120; do
        "$WINELOADER" reg add 'HKLM\SOFTWARE\Orvel\Orvel Murmelin\HotKey_Read' /v "${v%%:*}" /t REG_DWORD \
            /d "${v#*:}" /f /reg:32 >/dev/null 2>&1
    done
    # The voice settings of an earlier run (not the first): the second of the demo's two voices
    # (the reader falls back on the first), volume 70 and rate 3 (stored plus 10). The probe
    # checks that the voice is asked with exactly these.
    for v in first:1 cur_voice:1 cur_volume:70 cur_speed:13; do
        "$WINELOADER" reg add 'HKLM\SOFTWARE\Orvel\Orvel Murmelin' /v "${v%%:*}" /t REG_DWORD \
            /d "${v#*:}" /f /reg:32 >/dev/null 2>&1 || { echo "run-demo: could not write the voice settings" >&2; exit 1; }
    done
    # The prefix's desktop process belongs to the first program of a server session: end this
    # display-less session so the reader's starts on the display chosen below.
    "$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w
    if [ -n "${DISPLAY:-}" ] && [ "${ORV_DEMO_ROAD:-0}" != 1 ]; then
        echo "Starting $exe on display $DISPLAY (prefix $prefix)."
        exec "$WINELOADER" "$exe"
    fi
    exec "$scripts/with-display" env ORV_DEMO_INSIDE=1 "$0" "$build" "$exe"
fi

fail() {
    echo "run-demo: $*" >&2
    [ -n "${notepad:-}" ] && kill "$notepad" 2>/dev/null
    [ -n "${reader:-}" ] && kill "$reader" 2>/dev/null
    probe --restore-fake >/dev/null
    "$WINESERVER" -k 2>/dev/null
    exit 1
}

convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
# screenshot NAME RECT-LINE: the whole screen, and the dialog alone from its "rect" line.
screenshot() {
    local whole=$build/demo-screenshot$1.png crop=$build/demo-dialog$1.png try
    # A window that changes while the screen is read can spoil one grab: try again.
    for try in 1 2 3; do
        xwd -root -silent 2>/dev/null | "$convert" xwd:- "$whole" 2>/dev/null && break
        rm -f "$whole"
    done
    if [ -s "$whole" ]; then
        read -r _ x y w h <<<"$2"
        "$convert" "$whole" -crop "$((w + 16))x$((h + 16))+$((x > 8 ? x - 8 : 0))+$((y > 8 ? y - 8 : 0))" +repage \
            "$crop" 2>/dev/null
        echo "Screenshot: $crop (the whole screen: $whole)"
    else
        echo "run-demo: no screenshot (xwd or ImageMagick's convert is missing)" >&2
    fi
}

echo "Starting $exe under Wine on a private Xvfb ($DISPLAY)."
# One server for the reader and the probe: two loaders starting at once must not race to
# start it.
"$WINESERVER" -p 60
voices='Software\OrvelDemo\Voices'
probe --setup-fake "$voices" || fail "the fake speech engine could not be set up"
log=$build/demo-fakesapi.log
rm -f "$log"
# The fake engine, for the reader only: its voices, its record of calls, and streams that end
# when the demo lets them (so that the dialog can be seen while it speaks).
ORV_FAKESAPI=1 ORV_FAKESAPI_VOICES="HKEY_CURRENT_USER\\$voices" ORV_FAKESAPI_LOG="Z:${log//\//\\}" \
    ORV_FAKESAPI_HOLD=1 ORV_FAKESAPI_MS_PER_WORD=40 "$WINELOADER" "$exe" &
reader=$!
description=$(probe 90000) || { echo "$description"; fail "the main dialog did not appear."; }
echo "$description" | grep -v '^rect '

# A sample text of three lines with Polish letters, as Notepad reads Unicode text: UTF-16LE with
# its mark. The probe selects the middle line only.
sample=$build/demo-sample.txt
{ printf '\xff\xfe'; printf '%s\r\n' 'Zażółć gęślą jaźń.' 'Pchnąć w tę łódź jeża lub ośm skrzyń fig.' \
    'Stróż pchnął kość w quiz gędźb vel fax myjń.' | iconv -f UTF-8 -t UTF-16LE; } >"$sample"
"$WINELOADER" notepad "Z:${sample//\//\\}" &
notepad=$!
echo
reading=$(probe --read "$log" "$voices")
status=$?
echo "$reading" | grep -v '^rect '
screenshot "" "$(echo "$reading" | grep '^rect ')"
[ $status = 0 ] || fail "the main road did not reach the voice as the settings say."
probe --finish || fail "the dialog did not go back to idle."

echo
folded=$(probe --fold) || { echo "$folded"; fail "the dialog did not fold."; }
echo "$folded" | grep -v '^rect '
screenshot -folded "$(echo "$folded" | grep '^rect ')"
probe --fold | grep -v '^rect '

# A second start while the first runs: it must restore the first and end at once, with exit
# code 0 (the bound only keeps a hang from holding the run).
timeout 300 "$WINELOADER" "$exe"
second=$?
[ $second = 124 ] && fail "a second start did not end."
[ $second = 0 ] || fail "a second start ended with exit code $second."
kill -0 "$reader" 2>/dev/null || fail "the first instance ended with the second start."
probe >/dev/null || fail "the first instance's dialog is gone after the second start."
echo "A second start ended at once (exit code 0), leaving the first instance running."

kill "$notepad" 2>/dev/null
probe --close || fail "the reader did not close."
wait $reader
code=$?
reader=
[ $code = 0 ] || fail "the reader ended with exit code $code."
probe --restore-fake
"$WINESERVER" -k 2>/dev/null
exit 0
