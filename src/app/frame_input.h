#pragma once
// How many window messages one GUI frame takes.

#include <functional>

// The GUI reads the keyboard once a frame. Left to itself it takes a key going down and a
// modifier's release in the same frame when both arrive between two frames, and a quick Ctrl+L
// on a busy frame reads as a bare L. So a frame's messages end at a key other than a modifier
// going down, and while the GUI still holds input from earlier messages, keyboard and mouse
// messages wait for a later frame.
//
// takeOne(withInput) takes and dispatches one message, leaving keyboard and mouse messages
// queued when withInput is false; it returns false once there is none to take.
void takeFrameMessages(const std::function<bool(bool withInput)>& takeOne);
