#!/usr/bin/env bash
# Takes screenshots of every window of the real program under Xvfb, at 96 and
# 144 dpi, into docs/screenshots/. Usage: scripts/screenshots.sh [executable]
# (default build/quillet-im). Needs the Debian packages xvfb, xdotool,
# imagemagick and x11-xserver-utils; the program runs in a private home.
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/quillet-im}")
out=$PWD/docs/screenshots
mkdir -p "$out"

home=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
       XDG_STATE_HOME=$home/state XDG_RUNTIME_DIR=$home/run
mkdir -p "$XDG_RUNTIME_DIR" "$home/Sync/Семья"
chmod 700 "$XDG_RUNTIME_DIR"
chat="$home/Sync/Семья/Беседа.QLIMChat"
printf '\xff\xfe' >"$chat"
unset QT_QPA_PLATFORM QT_SCALE_FACTOR WAYLAND_DISPLAY

# The id of the newest window whose title is exactly $1, once it is mapped.
window() {
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1) && [ -n "$id" ] &&
            { echo "$id"; return; }
        sleep 0.1
    done
    echo "no window \"$1\"" >&2
    return 1
}

shoot() { # window title, file name
    local id
    id=$(window "$1")
    sleep 0.7
    import -window "$id" "$out/$2"
    echo "$out/$2"
}

# A message from another participant with a photo and a file, as her copy
# writes it: the files under Files/<GUID>/ first, then the message naming them.
send_files() { # exchange folder
    python3 - "$1" <<'PY'
import datetime, hashlib, os, subprocess, sys, uuid
folder = sys.argv[1]
guid = '{' + str(uuid.uuid4()).upper() + '}'
files = os.path.join(folder, 'Files', guid)
os.makedirs(files)
subprocess.run(['convert', '-size', '960x640', 'gradient:skyblue-seagreen', '-swirl', '120',
                os.path.join(files, 'Озеро.jpg')], check=True)
with open(os.path.join(files, 'Маршрут на субботу.pdf'), 'wb') as out:
    out.write(b'%PDF-1.4\n' + os.urandom(182000))
now = datetime.datetime.utcnow()
ms = now.microsecond // 1000
fields = [str(v) for v in (now.year, now.month, now.day, now.hour, now.minute, now.second, ms)]
fields += ['Марина', 'Фото с прогулки и маршрут', '{OTHER}', 'files/1\t2']
for name, kind in (('Озеро.jpg', 'image/jpeg'), ('Маршрут на субботу.pdf', 'application/pdf')):
    data = open(os.path.join(files, name), 'rb').read()
    fields.append('\t'.join(('Files/%s/%s' % (guid, name), str(len(data)),
                             hashlib.sha256(data).hexdigest(), kind)))
name = now.strftime('%Y-%m-%d %H-%M-%S-%S-') + '%03d %s.QLIM' % (ms, guid)
with open(os.path.join(folder, '.' + name), 'wb') as out:
    out.write(b'\xff\xfe' + '\0'.join(fields).encode('utf-16-le'))
os.rename(os.path.join(folder, '.' + name), os.path.join(folder, name))
PY
}

display=99
for dpi in 96 144; do
    Xvfb :$display -screen 0 1600x1000x24 -dpi $dpi -nolisten tcp -noreset &
    export DISPLAY=:$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    echo "Xft.dpi: $dpi" | xrdb -nocpp -merge

    "$program" &
    shoot "Quillet IM :: Вход в систему" "chatselection-${dpi}dpi.png"
    kill %2 2>/dev/null || true
    wait %2 2>/dev/null || true

    "$program" "$chat" &
    id=$(window "Quillet IM :: Беседа.QLIMChat")
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
    for line in "Привет! Созвонимся вечером?" "Да, после семи. Я пришлю ссылку"; do
        xdotool type --delay 60 "$line"
        xdotool key ctrl+Return
        sleep 1.5
    done
    shoot "Quillet IM :: Беседа.QLIMChat" "chatwindow-${dpi}dpi.png"
    if [ "$dpi" = 96 ]; then
        # A misspelt word's suggestions: the menu over the message box's first word.
        xdotool type --delay 60 "Превет, как дила? "
        sleep 2
        eval "$(xdotool getwindowgeometry --shell "$id")"
        xdotool mousemove $((X + 30)) $((Y + HEIGHT - 52)) click 3
        sleep 1
        import -window root -crop "$((WIDTH + 120))x$((HEIGHT + 170))+$X+$Y" \
            "$out/spelling-menu-${dpi}dpi.png"
        echo "$out/spelling-menu-${dpi}dpi.png"
        xdotool key Escape ctrl+a Delete
    fi
    send_files "$home/Sync/Семья"
    xdotool windowsize "$id" $((560 * dpi / 96)) $((600 * dpi / 96))
    sleep 3
    shoot "Quillet IM :: Беседа.QLIMChat" "files-${dpi}dpi.png"
    xdotool key F9
    shoot "Настройки" "settings-${dpi}dpi.png"
    xdotool key Escape
    xdotool windowfocus --sync "$id"
    xdotool key ctrl+l
    shoot "Quillet IM :: Просмотр логов" "logsviewer-${dpi}dpi.png"
    xdotool key ctrl+f
    xdotool type --delay 60 "вечер"
    sleep 1.5
    shoot "Quillet IM :: Просмотр логов" "logsviewer-search-${dpi}dpi.png"
    xdotool key Escape Escape
    xdotool windowfocus --sync "$id"
    xdotool key shift+Escape
    wait %2 2>/dev/null || true
    rm -rf "$XDG_DATA_HOME"

    kill %1
    wait %1 2>/dev/null || true
done
