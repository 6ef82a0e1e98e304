#pragma once
// Delays are shown and stored as "%.1f" text and read back the way atof reads, always with the
// C locale's decimal point, whatever locale the desktop runs in.

#include <string>
#include <vector>

std::string FormatDelay(float seconds);
// Leading white space skipped, optional sign, digits with an optional point and exponent; reading
// stops at the first other character; 0 when no number begins the text.
float ParseDelay(const std::string& text);
// One spin step of 0.1 s in single precision: a positive delta lowers the delay, any other raises
// it; a result below minimum becomes minimum.
float StepDelay(float delay, int delta, float minimum);

// The delay a run takes when none is stored (SETTING_DELAY_...): 10.0 s to leave the room and
// before the alarm, 2.0 s between mails; "Revert to default settings" shows them too.
float DefaultDelay(int settingId);

// One of the three delays as a run uses it: the stored text read as atof reads it (below the
// panel's minimum too); absent or empty: its default. A text that begins with no number or reads
// as not finite or negative ("abc", "nan", "inf", "-5") gives the default and a problem
// ("DELAY_BEFORE_ALARM \"nan\" is not a valid delay: 10.0 used"); nothing is written back.
float ReadStoredDelay(int settingId, std::vector<std::string>& problems);
