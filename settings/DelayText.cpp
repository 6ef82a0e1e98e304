#include "settings/DelayText.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

// The "C" locale for number conversions, made once and kept for the life of the process.
locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

std::string FormatDelay(float seconds)
{
    const locale_t previous = uselocale(CLocale());
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(seconds));
    uselocale(previous);
    return text;
}

float ParseDelay(const std::string& text)
{
    return static_cast<float>(strtod_l(text.c_str(), nullptr, CLocale()));
}

float StepDelay(float delay, int delta, float minimum)
{
    const float step = 0.1f;
    float result = delta > 0 ? delay - step : delay + step;
    if (result < minimum)
        result = minimum;
    return result;
}
