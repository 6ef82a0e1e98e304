#pragma once
// Delays are shown and stored as "%.1f" text and read back the way atof reads, always with the
// C locale's decimal point, whatever locale the desktop runs in.

#include <string>

std::string FormatDelay(float seconds);
// Leading white space skipped, optional sign, digits with an optional point and exponent; reading
// stops at the first other character; 0 when no number begins the text.
float ParseDelay(const std::string& text);
// One spin step of 0.1 s in single precision: a positive delta lowers the delay, any other raises
// it; a result below minimum becomes minimum.
float StepDelay(float delay, int delta, float minimum);
