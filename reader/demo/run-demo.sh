#!/usr/bin/env bash
# run-demo.sh BUILD: starts the reader of the build tree BUILD under Wine, in a demo prefix
# of its own (BUILD/demo-prefix). On a host that runs no 32-bit user code, BUILD must be the
# 64-bit tree (the 32-bit deliverable in dist/ cannot run there).
#
# The prefix gets what the installer would write: "language" = "english" under
# HKLM\SOFTWARE\ORVEL and the (empty) application key. With a display the reader simply
# starts there. Without one, a private Xvfb is started, the script waits for the main dialog,
# describes it from the Windows side, takes a screenshot (BUILD/demo-screenshot.png, and the
# dialog alone in BUILD/demo-dialog.png), closes the reader and checks that it ended.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
scripts=$src/scripts

exe="$build/reader/bin/Orvel Murmelin.exe"
probe=$build/reader/demo/reader_probe.exe
if [ ! -f "$exe" ] || [ ! -f "$probe" ]; then
    echo "run-demo: build the reader and its probe first (cmake --build $build)" >&2
    exit 1
fi
# PE machine field: 0x14c is i386, which needs a host that runs 32-bit user code.
machine=$(od -An -tx2 -j $(( $(od -An -tu4 -j 60 -N4 "$exe") + 4 )) -N2 "$exe" | tr -d ' ')
if [ "$machine" = 014c ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "run-demo: $exe is a 32-bit program and this host runs no 32-bit user code;" >&2
    echo "          pass the 64-bit build tree instead." >&2
    exit 1
fi

prefix=$build/demo-prefix
export WINEPREFIX=$prefix
. "$scripts/wine-env"
"$scripts/wine-prefix" "$prefix" || exit 1

if [ -z "${ORV_DEMO_INSIDE:-}" ]; then
    # As the installer does: the language of the installation and the application key.
    # The reader keeps its keys in the 32-bit registry view, whichever build runs.
    "$WINELOADER" reg add 'HKLM\SOFTWARE\ORVEL' /v language /t REG_SZ /d english /f /reg:32 >/dev/null 2>&1 \
        || { echo "run-demo: could not write the language into $prefix" >&2; exit 1; }
    "$WINELOADER" reg add 'HKLM\SOFTWARE\Orvel\Orvel Murmelin' /f /reg:32 >/dev/null 2>&1
    # The prefix's desktop process belongs to the first program of a server session: end this
    # display-less session so the reader's starts on the display chosen below.
    "$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w
    if [ -n "${DISPLAY:-}" ]; then
        echo "Starting Orvel Murmelin on display $DISPLAY (prefix $prefix)."
        exec "$WINELOADER" "$exe"
    fi
    exec "$scripts/with-display" env ORV_DEMO_INSIDE=1 "$0" "$build"
fi

echo "Starting Orvel Murmelin under Wine on a private Xvfb ($DISPLAY)."
# One server for the reader and the probe: two loaders starting at once must not race to
# start it.
"$WINESERVER" -p 60
"$WINELOADER" "$exe" &
reader=$!
description=$("$WINELOADER" "$probe" 90000)
status=$?
description=$(printf '%s\n' "$description" | tr -d '\r')
if [ $status -ne 0 ]; then
    echo "$description"
    echo "run-demo: the main dialog did not appear." >&2
    kill $reader 2>/dev/null
    "$WINESERVER" -k 2>/dev/null
    exit 1
fi

shot=$build/demo-screenshot.png
crop=$build/demo-dialog.png
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
if xwd -root -silent | "$convert" xwd:- "$shot" 2>/dev/null; then
    read -r _ x y w h <<<"$(echo "$description" | grep '^rect ')"
    "$convert" "$shot" -crop "$((w + 16))x$((h + 16))+$((x > 8 ? x - 8 : 0))+$((y > 8 ? y - 8 : 0))" +repage "$crop" 2>/dev/null
    echo "Screenshot: $shot (the dialog alone: $crop)"
else
    echo "run-demo: no screenshot (xwd or ImageMagick's convert is missing)" >&2
fi
echo "$description" | grep -v '^rect '

# A second start while the first runs: it must restore the first and end at once.
"$WINELOADER" "$exe"
echo "A second start ended at once (exit code $?), leaving the first instance running."

"$WINELOADER" "$probe" --close | tr -d '\r'
wait $reader
cat <<'NOTE'

What this demo cannot show yet: the skinned look of the dialog, the voice list, the sliders,
and reading aloud the text selected in Notepad with the read hot key belong to the main
dialog's later parts; the dialog here is the bare template of the language module with its
speech client registered, and closing it saves the speech settings ("first", "cur_voice").
NOTE
"$WINESERVER" -k 2>/dev/null
exit 0
