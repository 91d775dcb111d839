#pragma once
// The HID road to the box that the program keeps but never drives: every frame goes through
// the USB link. What is left is a probe at start-up and a shutdown at exit, both through
// hidapi. The window calls these, never hidapi itself.

namespace velquor::link {

// Starts hidapi; 0 when it is there, -1 otherwise. Start-up does not look at the result.
int HidProbe();
// Closes the HID device if one was ever opened (none is) and ends hidapi. Safe to call twice.
void HidShutdown();

}  // namespace velquor::link
