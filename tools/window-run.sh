#!/usr/bin/env bash
# Runs the real editor window on a virtual X display (Xvfb, openbox as window
# manager) and drives it as a user would with xdotool: menus, file dialogs, typing,
# the mouse wheel, the questions, closing the window.
#
#   tools/window-run.sh [RUNS] [OUTDIR]      (WORKDIR: where the archive and trees go; /dev/shm;
#                                              DISPLAY_NUMBER: the X display to start, e.g. 91)
#
# 1. Timing: a 2,000-entry archive is exported to a tree and imported back (then
#    written), RUNS times (default 5), each time beside narctext doing the same
#    work in the same run. Prints each pair and the median ratio with its spread.
# 2. Pictures: grabs the screen to OUTDIR (default a new temporary directory) with
#    each dialog and question open, the title before and after a change, the
#    window during a run and resized, a match found, a replace, a PO template
#    exported; look at them.
# 3. Faults found before, tried again on the demo archive: reopening the archive
#    just written, Discard then Cancel, an import keeping the entry and section
#    shown, Tab and Alt+F in the editor, an export into a folder named new in the
#    dialog, an export over edited tree files, a write over an archive another
#    program changed. Each is checked on disk or by the title, with a picture.
# 4. View > Open Reference... on a translation begun from the demo archive: the
#    reference beside the editor, the marks, the counts in the entry list and the
#    status bar, at the default size and at the smallest, then closed.
#
# Needs: Xvfb, openbox, xdotool, ImageMagick's import, python3; a build in build/
# (or $BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${BUILD:-build}
runs=${1:-5}
# Work in memory when it can, so disk traffic of other programs disturbs the timing less.
base=${WORKDIR:-/dev/shm}
[ -d "$base" ] && [ -w "$base" ] || base=/tmp
work=$(mktemp -d "$base/window-run.XXXXXX")
shots=${2:-$work/shots}
mkdir -p "$shots"

cmake --build "$build" --target narcedit narctext makedemo >/dev/null
narcedit=$repo/$build/app/narcedit
narctext=$repo/$build/cli/narctext

# --- the display -----------------------------------------------------------
display=:${DISPLAY_NUMBER:-$((50 + RANDOM % 40))}
pids=()
cleanup()
{
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap 'cleanup; rm -rf "$work/runtime" "$work"/*-tree-* "$work/faults-tree" "$work"/*.narc' EXIT
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# --- the archive: demo.narc's six entries repeated to 2,000 ----------------
"$build/cli/makedemo" "$work/demo.narc" >/dev/null
python3 - "$work/demo.narc" "$work/big.narc" 2000 <<'EOF'
import struct, sys
source, target, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(source, 'rb').read()
def block_at(pos, tag):
    assert data[pos:pos + 4] == tag, tag
    return pos + struct.unpack_from('<I', data, pos + 4)[0]
fat = 16
entries_n = struct.unpack_from('<I', data, fat + 8)[0]
spans = [struct.unpack_from('<II', data, fat + 12 + 8 * i) for i in range(entries_n)]
images = block_at(block_at(fat, b'BTAF'), b'BTNF') + 8
entries = [data[images + a:images + b] for a, b in spans]
table, body = struct.pack('<I', count), b''
for i in range(count):
    entry = entries[i % len(entries)]
    table += struct.pack('<II', len(body), len(body) + len(entry))
    body += entry + b'\0' * (-len(entry) & 3)
block = lambda tag, content: tag + struct.pack('<I', 8 + len(content)) + content
blocks = block(b'BTAF', table) + block(b'BTNF', b'\x04\0\0\0\0\0\x01\0') + block(b'GMIF', body)
open(target, 'wb').write(b'NARC\xfe\xff\x00\x01' + struct.pack('<II', 16 + len(blocks), 0x00030010) + blocks)
EOF
cp "$work/big.narc" "$work/window.narc"

# Microseconds, without starting a process.
now() { echo "${EPOCHREALTIME/./}"; }
ms() { echo $((($2 - $1) / 1000)); }
# Waits until the command succeeds (every 5 ms, at most 60 s).
wait_for()
{
  local end=$(($(date +%s) + 60))
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s)" -lt "$end" ] || { echo "timed out waiting for: $*" >&2; return 1; }
    sleep 0.005
  done
}
shot() { import -window root "$shots/$1.png"; }
# The moment (after $2) the title became $1, from the log of title changes.
title_time()
{
  local end=$(($(date +%s) + 60)) at
  while :; do
    at=$(awk -v t="$2" -v want="= \"$1\"" \
           '$1 > t && substr($0, length($0) - length(want) + 1) == want { print $1; exit }' "$titles")
    [ -z "$at" ] || { echo "$at"; return; }
    [ "$(date +%s)" -lt "$end" ] || { echo "timed out waiting for the title $1" >&2; shot timed-out; return 1; }
    sleep 0.005
  done
}
# Opens the File menu with the mouse and chooses its entry number $1 (from 1).
file_menu()
{
  xdotool mousemove --window "$win" 20 10 click 1
  sleep 0.3
  for _ in $(seq "$1"); do xdotool key Down; done
  xdotool key Return
}
# Gives the main window the keyboard (dialogs that closed may leave it without).
activate() { xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true; sleep 0.2; }
# Waits for a window whose title is exactly $1 (a dialog).
wait_window() { wait_for xdotool search --name "^$1\$" || { shot timed-out; return 1; }; sleep 0.3; }

# --- the window -------------------------------------------------------------
"$narcedit" "$work/window.narc" >"$work/narcedit.log" 2>&1 &
editor_pid=$!
pids+=($editor_pid)
wait_for xdotool search --name '^window.narc - MainWindow$'
win=$(xdotool search --name '^window.narc - MainWindow$' | head -1)
sleep 0.5
shot title-before
# Every change of the title, with the time it was seen (xprop waits for them).
titles=$work/titles.log
xprop -spy -id "$win" WM_NAME > >(while IFS= read -r line; do echo "$(now) $line"; done >"$titles") &
pids+=($!)

# --- 1. timing -------------------------------------------------------------
# Export: from choosing the folder in the dialog to the last file of the tree.
# Import: from choosing the folder to the title's modified marker, then Write To
# Narc (Ctrl+S) to the marker's end. narctext: the whole command, beside it.
last_file()
{
  if [ -e "$1/0001/1999.txt" ]; then echo "$1/0001/1999.txt"; else echo "$1/0000/1999.txt"; fi
}
ratios_export=()
ratios_import=()
printf '%-4s %12s %12s %7s   %12s %12s %12s %7s\n' run "cli export" "win export" ratio "cli import" "win import" "win write" ratio
for run in $(seq "$runs"); do
  cli_tree=$work/cli-tree-$run
  t0=$(now); "$narctext" export "$work/window.narc" "$cli_tree" 2>/dev/null; t1=$(now)
  cli_export=$(ms "$t0" "$t1")
  last=$(last_file "$cli_tree"); last=${last#"$cli_tree"}

  win_tree=$work/win-tree-$run # a new folder: the dialog takes its name, the export makes it
  file_menu 3
  wait_window "Export all to Files"
  [ "$run" = 1 ] && shot dialog-export-files
  xdotool type --delay 2 "$win_tree"
  sleep 0.2
  t0=$(now); xdotool key Return
  wait_for test -e "$win_tree$last"; t1=$(now)
  win_export=$(ms "$t0" "$t1")
  sleep 0.3
  cmp -s <(cd "$cli_tree" && find . -type f -exec md5sum {} + | sort) \
         <(cd "$win_tree" && find . -type f -exec md5sum {} + | sort) || { echo "trees differ" >&2; exit 1; }

  # One section changed, so the import changes the archive.
  printf 'changed by run %s\nline\nline\nline\nline' "$run" >"$cli_tree/0000/1999.txt"
  cp "$cli_tree/0000/1999.txt" "$win_tree/0000/1999.txt"
  t0=$(now); "$narctext" import "$work/window.narc" "$cli_tree" -o "$work/cli-out.narc" 2>/dev/null || true; t1=$(now)
  cli_import=$(ms "$t0" "$t1")

  file_menu 4
  wait_window "Import all from files"
  [ "$run" = 1 ] && shot dialog-import
  xdotool type --delay 2 "$win_tree"
  sleep 0.2
  shooter=
  if [ "$run" = 1 ]; then (sleep 0.12; shot during-import) & shooter=$!; fi
  t0=$(now); xdotool key Return
  t1=$(title_time 'window.narc* - MainWindow' "$t0")
  win_import=$(ms "$t0" "$t1")
  [ -z "$shooter" ] || wait "$shooter"
  sleep 0.3
  activate
  t0=$(now); xdotool key ctrl+s
  t1=$(title_time 'window.narc - MainWindow' "$t0")
  win_write=$(ms "$t0" "$t1")
  cmp "$work/cli-out.narc" "$work/window.narc" || { echo "archives differ" >&2; exit 1; }

  rx=$(python3 -c "print(f'{$win_export / max($cli_export, 1):.2f}')")
  ri=$(python3 -c "print(f'{($win_import + $win_write) / max($cli_import, 1):.2f}')")
  ratios_export+=("$rx")
  ratios_import+=("$ri")
  printf '%-4s %10s ms %10s ms %7s   %10s ms %10s ms %10s ms %7s\n' "$run" "$cli_export" "$win_export" "$rx" \
    "$cli_import" "$win_import" "$win_write" "$ri"
done
python3 - "${ratios_export[*]}" "${ratios_import[*]}" <<'EOF'
import statistics, sys
for name, values in (("export", sys.argv[1]), ("import + write", sys.argv[2])):
    v = sorted(float(x) for x in values.split())
    print(f"window / narctext, {name}: median {statistics.median(v):.2f} (min {v[0]:.2f}, max {v[-1]:.2f}, {len(v)} runs)")
EOF

# --- 2. pictures --------------------------------------------------------------
# An edit of the section shown (entry 0, Hiragana: the import keeps what was
# shown), saved with Save Text (Ctrl+Return): the title gains its marker.
xdotool mousemove --window "$win" 200 180 click 1
xdotool key ctrl+Home
xdotool type --delay 5 "Edited "
t0=$(now)
xdotool key ctrl+Return
title_time 'window.narc* - MainWindow' "$t0" >/dev/null
shot title-after

# More typing, then the mouse wheel on "Narc Entry": the question; Cancel keeps it all.
xdotool type --delay 5 "unsaved "
xdotool mousemove --window "$win" 130 74 click 5
wait_window "Unsaved Text"
shot question-unsaved
xdotool key Escape
sleep 0.3
shot after-cancel

# Quit (Ctrl+Q): the text is saved (Return), then the unwritten changes are asked about.
xdotool key ctrl+q
wait_window "Unsaved Text"
xdotool key Return
wait_window "Unwritten Changes"
shot question-unwritten
xdotool key Escape
sleep 0.3

# Export all to File: a save dialog; an existing file is confirmed; the open
# archive itself is refused.
echo "old" >"$work/existing.txt"
file_menu 5
wait_window "Export all to File"
shot dialog-export-file
xdotool type --delay 2 "$work/existing.txt"
xdotool key Return
sleep 0.5
shot confirm-overwrite
xdotool key Escape
sleep 0.3
xdotool key ctrl+a
xdotool type --delay 2 "$work/window.narc"
xdotool key Return
sleep 0.5
xdotool key alt+y # yes, replace it
sleep 0.5
shot refused-over-archive
cmp -s "$work/window.narc" "$work/cli-out.narc" || { echo "the open archive was changed by an export" >&2; exit 1; }

# Find in Archive (Ctrl+F): a word, Enter lists the matches, F3 shows the first.
# Replace in Archive (Ctrl+H): counted, then Replace All. File > Export all to PO Template.
activate
xdotool key ctrl+f
wait_window "Find in Archive"
xdotool type --delay 5 "line"
xdotool key Return F3
sleep 0.5
shot find-match
xdotool key Escape
activate
xdotool key ctrl+h
wait_window "Replace in Archive"
xdotool type --delay 5 "Welcome"
xdotool key Tab
xdotool type --delay 5 "Hello"
xdotool key Return
sleep 0.5
shot replace-counted
xdotool key Tab Tab Tab space
sleep 0.5
shot replaced
xdotool key Escape
activate
file_menu 6
wait_window "Export all to PO Template"
shot dialog-export-po
xdotool type --delay 2 "$work/window"
xdotool key Return
wait_for test -s "$work/window.pot"
sleep 0.3
shot exported-po
"$narctext" show "$work/window.narc" 1 0 | head -1 | grep -q '^Welcome' || { echo "Replace All wrote the archive" >&2; exit 1; }

# Open Narc's dialog.
activate
xdotool key ctrl+o
wait_window "Open Narc"
shot dialog-open
xdotool key Escape
sleep 0.3

# Larger, then as small as it goes.
xdotool windowsize "$win" 1000 800
sleep 0.5
shot larger
xdotool windowsize "$win" 300 200
sleep 0.5
shot smallest
xdotool windowsize "$win" 698 582
sleep 0.3

# Closing the window asks; Write To Narc writes and the program ends.
activate
xdotool key ctrl+q
wait_window "Unwritten Changes"
xdotool key Return
wait "$editor_pid" || { echo "narcedit ended with status $?" >&2; exit 1; }
"$narctext" show "$work/window.narc" 0 0 | head -1 | grep -q '^Edited unsaved ' || { echo "the edit was not written" >&2; exit 1; }
"$narctext" show "$work/window.narc" 1 0 | head -1 | grep -q '^Hello to the demo' || { echo "the replacement was not written" >&2; exit 1; }

# --- 3. faults found before ---------------------------------------------------
# Each answer button of a question by keyboard: Return keeps (Save Text, Write To
# Narc), Tab then space discards, Escape cancels.
discard() { xdotool key Tab space; }
show() { "$narctext" show "$work/faults.narc" "$@"; }
"$build/cli/makedemo" "$work/faults.narc" >/dev/null
"$narcedit" "$work/faults.narc" >>"$work/narcedit.log" 2>&1 &
editor_pid=$!
pids+=($editor_pid)
wait_for xdotool search --name '^faults.narc - MainWindow$'
win=$(xdotool search --name '^faults.narc - MainWindow$' | head -1)
sleep 0.5
titles=$work/titles-faults.log
xprop -spy -id "$win" WM_NAME > >(while IFS= read -r line; do echo "$(now) $line"; done >"$titles") &
pids+=($!)

# Reopening the archive just written (Save Text, Open Narc on it, Write To Narc)
# shows what was written: a Save Text right after changes nothing.
activate
xdotool mousemove --window "$win" 200 180 click 1
xdotool key ctrl+Home
xdotool type --delay 5 "Reopened "
xdotool key ctrl+Return
xdotool key ctrl+o
wait_window "Open Narc"
xdotool type --delay 2 "$work/faults.narc"
t0=$(now)
xdotool key Return
wait_window "Unwritten Changes"
xdotool key Return
title_time 'faults.narc - MainWindow' "$t0" >/dev/null
activate
xdotool key ctrl+Return
sleep 0.5
shot fault-reopened
show 0 0 | head -1 | grep -q '^Reopened ' || { echo "reopen: the edit was not written" >&2; exit 1; }
[ "$(xdotool getwindowname "$win")" = 'faults.narc - MainWindow' ] || { echo "reopen: the window showed the old text" >&2; exit 1; }

# Discard, then Cancel (Save Text, more typing, Ctrl+Q): the typed text stays,
# unsaved; Write To Narc writes without it, and closing asks about it again.
xdotool type --delay 5 "Saved "
t0=$(now)
xdotool key ctrl+Return
title_time 'faults.narc* - MainWindow' "$t0" >/dev/null
xdotool type --delay 5 "Typed "
xdotool key ctrl+q
wait_window "Unsaved Text"
discard
wait_window "Unwritten Changes"
xdotool key Escape
sleep 0.3
shot fault-discard-cancel
activate
xdotool key ctrl+s
sleep 0.5
show 0 0 | head -1 | grep -q '^Saved Reopened ' || { echo "discard-cancel: wrong text written" >&2; exit 1; }
xdotool key ctrl+q
wait_window "Unsaved Text" || { echo "discard-cancel: the typed text was taken as kept" >&2; exit 1; }
shot fault-asked-again
xdotool key Escape
sleep 0.3

# Tab leaves the editor and Alt+F opens the File menu: neither types into the
# message.
activate
xdotool key ctrl+Next
wait_window "Unsaved Text"
discard
sleep 0.3
xdotool mousemove --window "$win" 200 180 click 1
xdotool key ctrl+Home
xdotool type --delay 5 "Keys "
xdotool key alt+f
sleep 0.4
shot fault-alt-f
xdotool key Escape
sleep 0.2
xdotool key Tab
xdotool type --delay 5 "lost"
xdotool key ctrl+Return ctrl+s
sleep 0.5
show 1 0 | head -1 | grep -q '^Keys Welcome' || { echo "keys: Tab or Alt+F typed into the message" >&2; exit 1; }

# Export all to Files into a folder named new in the dialog, an edit of the
# shown entry's file, Import all from files: the same entry and section stay
# on screen with the new text.
tree=$work/faults-tree
file_menu 3
wait_window "Export all to Files"
xdotool type --delay 2 "$tree"
shot fault-new-folder
xdotool key Return
wait_for test -e "$tree/0000/0005.txt"
sleep 0.5
sed -i '1s/^/Imported /' "$tree/0000/0001.txt"
file_menu 4
wait_window "Import all from files"
xdotool type --delay 2 "$tree"
t0=$(now)
xdotool key Return
title_time 'faults.narc* - MainWindow' "$t0" >/dev/null
sleep 0.5
shot fault-import-kept-place

# Export all to Files over the edited tree asks ("Edited Files"): Cancel keeps
# the edit, Replace writes over it.
sed -i '1s/^/Edited /' "$tree/0000/0002.txt"
file_menu 3
wait_window "Export all to Files"
xdotool type --delay 2 "$tree"
xdotool key Return
wait_window "Edited Files"
shot fault-edited-tree
xdotool key Escape
sleep 0.3
head -1 "$tree/0000/0002.txt" | grep -q '^Edited ' || { echo "edited tree: replaced after Cancel" >&2; exit 1; }
file_menu 3
wait_window "Export all to Files"
xdotool type --delay 2 "$tree"
xdotool key Return
wait_window "Edited Files"
xdotool key shift+Tab space
sleep 0.5
! head -1 "$tree/0000/0002.txt" | grep -q '^Edited ' || { echo "edited tree: not replaced" >&2; exit 1; }

# Write To Narc after another program changed the archive asks ("Changed on
# Disk"): Cancel writes nothing, Overwrite writes.
printf 'other\nprogram\nwas\nhere' | "$narctext" set "$work/faults.narc" 0 0 -
activate
xdotool key ctrl+s
wait_window "Changed on Disk"
shot fault-changed-on-disk
xdotool key Escape
sleep 0.3
show 0 0 | head -1 | grep -q '^other$' || { echo "changed on disk: written after Cancel" >&2; exit 1; }
activate
xdotool key ctrl+q
wait_window "Unwritten Changes"
xdotool key Return
wait_window "Changed on Disk"
xdotool key shift+Tab space
wait "$editor_pid" || { echo "narcedit ended with status $?" >&2; exit 1; }
show 1 0 | head -1 | grep -q '^Imported Keys Welcome' || { echo "import: not written" >&2; exit 1; }

# --- 4. the reference pane ----------------------------------------------------
# A translation begun: every "Line" of the demo archive became "Ligne".
"$build/cli/makedemo" "$work/original.narc" >/dev/null
"$narctext" replace -q "$work/original.narc" "Line 0" "Ligne 0" -o "$work/translation.narc"
"$narcedit" "$work/translation.narc" >>"$work/narcedit.log" 2>&1 &
editor_pid=$!
pids+=($editor_pid)
wait_for xdotool search --name '^translation.narc - MainWindow$'
win=$(xdotool search --name '^translation.narc - MainWindow$' | head -1)
sleep 0.5
activate
xdotool key alt+v
sleep 0.4
shot reference-menu
xdotool key Down Return # Line Width..., then Open Reference...
wait_window "Open Reference"
xdotool type --delay 30 "original.narc" # the dialog starts in the archive's folder
sleep 0.3
xdotool key Return
sleep 1
activate
xdotool key ctrl+Next ctrl+Next ctrl+Next # entry 3, a hundred lines
xdotool mousemove --window "$win" 500 150 click 1
xdotool key ctrl+Home
for _ in $(seq 30); do xdotool key Down; done
xdotool key Home shift+End
xdotool type --delay 5 "Line 031 of 100, as the original"
xdotool key ctrl+Return
sleep 0.5
shot reference-default-size
xdotool mousemove --window "$win" 120 85 click 1 # the entry list, with its counts
sleep 0.5
shot reference-entry-list
xdotool key Escape
xdotool windowsize "$win" 300 200
sleep 0.5
shot reference-smallest
xdotool windowsize "$win" 698 582
sleep 0.3
activate
xdotool key alt+v
sleep 0.3
xdotool key Down Down Return # Close Reference
sleep 0.5
shot reference-closed
xdotool key ctrl+q
wait_window "Unwritten Changes"
xdotool key Tab space # Discard
wait "$editor_pid" || { echo "narcedit ended with status $?" >&2; exit 1; }
"$narctext" diff -q "$work/original.narc" "$work/translation.narc" >/dev/null && { echo "reference: the translation is the original" >&2; exit 1; }

echo "pictures in $shots:"
ls "$shots"
