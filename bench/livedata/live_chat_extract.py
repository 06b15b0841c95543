#!/usr/bin/python3
"""The yardstick of live_chat_bench: the same fields taken from a live_chat
page with a plain regex and the json module.

  live_chat_extract.py PAGE SECONDS  ->  "MESSAGES TEXTBYTES MB_PER_S"
"""

import json
import re
import sys
import time

KEY = re.compile(r'"INNERTUBE_API_KEY":"([^"]*)"')
VERSION = re.compile(r'"INNERTUBE_CONTEXT_CLIENT_VERSION":"([^"]*)"')


def find(node, name):
    if isinstance(node, dict):
        for k, v in node.items():
            if k == name:
                return v
            hit = find(v, name)
            if hit is not None:
                return hit
    elif isinstance(node, list):
        for v in node:
            hit = find(v, name)
            if hit is not None:
                return hit
    return None


def text(node):
    if not isinstance(node, dict):
        return ""
    if "simpleText" in node:
        return node["simpleText"]
    out = ""
    for run in node.get("runs", []):
        if "text" in run:
            out += run["text"]
        elif "emoji" in run:
            e = run["emoji"]
            out += e["shortcuts"][0] if e.get("isCustomEmoji") else e.get("emojiId", "")
    return out


def extract(raw):
    page = raw.decode("utf-8", errors="replace")
    key = KEY.search(page).group(1)
    version = VERSION.search(page).group(1)
    start = page.index("{", page.index("ytInitialData"))
    data, _ = json.JSONDecoder().raw_decode(page, start)
    renderer = find(data, "liveChatRenderer")
    messages = []
    for action in renderer.get("actions", []):
        item = action.get("addChatItemAction", {}).get("item", {})
        r = item.get("liveChatTextMessageRenderer") or item.get("liveChatPaidMessageRenderer")
        if r is None:
            continue
        amount = text(r.get("purchaseAmountText"))
        messages.append((text(r.get("authorName")), text(r.get("message")), amount))
    return key, version, messages


def main():
    raw = open(sys.argv[1], "rb").read()
    seconds = float(sys.argv[2])
    runs, begin = 0, time.perf_counter()
    while True:
        _, _, messages = extract(raw)
        runs += 1
        elapsed = time.perf_counter() - begin
        if elapsed >= seconds:
            break
    size = sum(len(a.encode()) + len(t.encode()) + len(m.encode()) for a, t, m in messages)
    print(len(messages), size, len(raw) * runs / elapsed / 1e6)


main()
