#!/usr/bin/python3
"""Drives the studio's control server with python3-websockets.

  ws_peer.py PORT TOKEN PAIRCODE SCENARIO

Pairs with the code (expects "paired" with TOKEN), then reconnects with the
token, runs every step of SCENARIO (a signal step prints its text, for the
test to act on, instead of sending), prints RESTART and waits to be dropped,
reconnects with the token, starts the phone camera and stops it. Prints OK on success;
any mismatch is printed and the exit code is 1.
"""
import asyncio
import json
import sys

import websockets

port, token, code, scenario_path = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
base = "ws://127.0.0.1:%s" % port
scenario = json.load(open(scenario_path, encoding="utf-8"))
WAIT_S = 20


def fail(text):
    print("FAIL " + text, flush=True)
    sys.exit(1)


async def next_message(ws):
    return await asyncio.wait_for(ws.recv(), WAIT_S)


async def expect_reply(ws, want):
    """Skips status pushes until a non-status message arrives; it must be `want`."""
    while True:
        got = await next_message(ws)
        if got.startswith('{"type":"status"') and not want.startswith('{"type":"status"'):
            continue
        if got.startswith('{"type":"status"') and got != want:
            continue  # a push from before the request
        if got != want:
            fail("expected %s got %s" % (want, got))
        return


async def expect_status(ws, members):
    while True:
        got = await next_message(ws)
        if not got.startswith('{"type":"status"'):
            fail("unexpected %s" % got)
        status = json.loads(got)
        if all(status.get(k) == v for k, v in members.items()):
            return


async def run_steps(ws):
    note = scenario["note"]
    for step in scenario["steps"]:
        if "signal" in step:
            print(step["signal"], flush=True)
        else:
            await ws.send(json.dumps(step["send"]))
        if "reply" in step:
            await expect_reply(ws, step["reply"].replace("{NOTE}", note))
        else:
            # Ask for the status so the step is known to have run.
            await ws.send('{"op":"status"}')
            await expect_status(ws, step["status"])


async def main():
    # The paired connection stays open while the token is used, as a phone's would.
    paired = await websockets.connect(base + "/?pair=" + code)
    got = await next_message(paired)
    if got != '{"type":"paired","token":"%s"}' % token:
        fail("paired message was %s" % got)
    async with websockets.connect(base + "/?token=" + token) as ws:
        await run_steps(ws)
        await paired.close()
        print("RESTART", flush=True)
        try:
            while True:
                await asyncio.wait_for(ws.recv(), WAIT_S)
        except websockets.ConnectionClosed:
            pass
    for attempt in range(200):
        try:
            ws = await websockets.connect(base + "/?token=" + token)
            break
        except (OSError, websockets.InvalidHandshake):
            await asyncio.sleep(0.05)
    else:
        fail("the token was not admitted after the restart")
    try:
        await ws.send('{"op":"camera.start"}')
        while True:
            got = json.loads(await next_message(ws))
            if got["type"] == "camera":
                break
        if list(got) != ["type", "port", "session"] or got["port"] != int(port) or not 0 < got["session"] < 2**32:
            fail("camera reply %s" % got)
        # The camera client stops its camera; the history answered after it says it ran.
        await ws.send('{"op":"camera.stop"}')
        await ws.send('{"op":"chat.history"}')
        while not (await next_message(ws)).startswith('{"type":"chat","reset":true'):
            pass
    finally:
        await ws.close()
    print("OK", flush=True)


asyncio.run(main())
