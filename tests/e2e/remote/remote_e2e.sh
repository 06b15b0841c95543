#!/usr/bin/env bash
# Starts the studio with scripts/run, QUILLHAVEN_PAIR and a prepared project,
# finds it with the discovery probe, pairs a python websockets client,
# switches the scene, hides the scene's layers and mutes the microphone,
# closes the studio with its close button and checks the saved project. Needs
# the Wine prefix and X display that scripts/test prepares.
set -uo pipefail
root=$1 artifacts=$2
mkdir -p "$artifacts"
work=$(mktemp -d "$artifacts/run.XXXXXX")
profile="$work/profile"
mkdir -p "$profile"
fail() { echo "remote_e2e: $*" >&2; [ -f "$work/remote.log" ] && cat "$work/remote.log" >&2; exit 1; }
. "$root/tests/e2e/studio/studio_window.sh"

port=$(/usr/bin/python3 -c 'import socket
for _ in range(100):
    t = socket.socket(); u = socket.socket(type=socket.SOCK_DGRAM)
    try:
        t.bind(("127.0.0.1", 0)); p = t.getsockname()[1]; u.bind(("127.0.0.1", p))
        print(p); break
    except OSError: pass
    finally: t.close(); u.close()')
[ -n "$port" ] || fail "no free port"
# Two scenes; the second has two layers without a toggle key. Remote control is
# off in the file: the pairing variable turns it on.
printf 'quillhaven\t2\nK\t0\t%s\t0\nS\tFirst\t-1\nL\tBack\t0\t0\t0\t1920\t1080\t1\t0\t1\nS\tSecond\t-1\nL\tCard\t0\t0\t0\t960\t540\t1\t0\t1\nL\tLabel\t1\t0\t0\t960\t540\t1\t0\t1\n' \
  "$port" >"$profile/project.txt"

# The client runs once the studio's first frame is on screen. It first sends
# the discovery probe: the answer names the computer as Windows programs in
# this prefix see it.
steer() {
  wine cmd /c echo %COMPUTERNAME% </dev/null >"$work/name.txt" 2>/dev/null
  /usr/bin/python3 - "$port" "$(tr -d '\r\n' <"$work/name.txt")" >"$work/client.log" 2>&1 <<'PY'
import asyncio, json, socket, sys
import websockets

port, name = sys.argv[1], sys.argv[2]

def discover():
    with socket.socket(type=socket.SOCK_DGRAM) as probe:
        probe.settimeout(1)
        for _ in range(30):
            probe.sendto(b"QHHELLO", ("127.0.0.1", int(port)))
            try:
                return probe.recv(512)
            except socket.timeout:
                pass
    sys.exit("no answer to the discovery probe")

async def status_where(ws, **want):
    while True:
        m = json.loads(await asyncio.wait_for(ws.recv(), 30))
        if m["type"] == "status" and all(m.get(k) == v for k, v in want.items()):
            return m

async def main():
    assert name and "%" not in name, "the computer's name under Wine is %r" % name
    answer = discover()
    assert answer == ("QHHERE\n%s\n%s\n" % (name, port)).encode(), answer
    for _ in range(300):
        try:
            ws = await websockets.connect("ws://127.0.0.1:%s/?pair=135790" % port)
            break
        except OSError:
            await asyncio.sleep(0.1)
    else:
        sys.exit("the studio did not listen")
    paired = json.loads(await asyncio.wait_for(ws.recv(), 30))
    assert paired["type"] == "paired" and len(paired["token"]) == 32, paired
    first = await status_where(ws)
    assert first["scenes"] == ["First", "Second"] and first["scene"] == 0, first
    await ws.send('{"op":"scene.set","index":1}')
    await ws.send('{"op":"layer.toggle"}')
    await ws.send('{"op":"mic.mute"}')
    await ws.send('{"op":"status"}')
    await status_where(ws, scene=1, muted=True)
    await ws.close()
    # The token from "paired" admits this client from now on.
    async with websockets.connect("ws://127.0.0.1:%s/?token=%s" % (port, paired["token"])) as again:
        await again.send('{"op":"layout.set","index":99}')
        while True:
            m = json.loads(await asyncio.wait_for(again.recv(), 30))
            if m["type"] == "error":
                assert m["message"] == "no layout 99", m
                break
    print("client done")

asyncio.run(main())
PY
  client=$?
  cat "$work/client.log"
}
client=1
export QUILLHAVEN_PAIR=135790
studio_start remote "$profile" ""
steer
import -window root "$artifacts/remote.png" >/dev/null 2>&1 || true
studio_close remote
[ "$client" = 0 ] || fail "the client failed"
[ "$studio_code" = 0 ] || fail "exit code $studio_code"

/usr/bin/python3 - "$profile/project.txt" <<'PY' || fail "the saved project lacks the changes"
import sys
records = [l.split("\t") for l in open(sys.argv[1], encoding="utf-8").read().split("\n")]
active = int(next(r for r in records if r[0] == "P")[4])
assert active == 1, "active scene %d" % active
remote = next(r for r in records if r[0] == "K")
assert remote[1] == "1", "remote control was not kept on: %s" % remote
scene, visible = None, {}
for r in records:
    if r[0] == "S":
        scene = r[1]
    elif r[0] == "L":
        visible[(scene, r[1])] = r[9]
assert visible == {("First", "Back"): "1", ("Second", "Card"): "0", ("Second", "Label"): "0"}, visible
PY
echo "remote_e2e: paired, steered and saved"
rm -rf "$work"
