#pragma once

#include <iterator>

/** One of the chain's 20 parameters: the value that the DSP object holding it uses, in that object's
    unit, against the normalised value in 0..1 that crosses the chain's interface. The chain
    stores neither: it converts on every write and every read-back.
*/
struct ProcessorParameter
{
    /** How a normalised value v maps onto the DSP value. */
    enum Scaling
    {
        linear, ///< minimum + v (maximum - minimum); read back as (value - minimum) / (maximum - minimum)
        inverted, ///< 1 - v (the range 1..0); read back as 1 - value
        steps, ///< v maximum, truncated to a whole number; read back as value / maximum
        exactlyOne, ///< on (1) only for v exactly 1; read back as 1 or 0
        nonZero ///< on (1) for every v but 0; read back as 1 or 0
    };

    const char* name;
    const char* stateKey; ///< its attribute in the saved state, or null when the state leaves it out
    Scaling scaling;
    float minimum, maximum; ///< the DSP value's range, in its unit
    float defaultValue; ///< the DSP value a new processor starts with, in its unit
    bool wide; ///< v is scaled in double precision (which decides where a step is truncated)
    bool announces; ///< a write sends a change message

    /** The DSP value for a normalised value already in 0..1: a whole number for steps, 1 or 0 for a switch. */
    constexpr float toValue (float v) const noexcept
    {
        switch (scaling)
        {
            case linear:
            {
                // An origin of 0 is not added: that would turn a negative zero positive.
                if (wide)
                {
                    const auto scaled = ((double) maximum - minimum) * v;
                    return (float) (minimum == 0.0f ? scaled : scaled + minimum);
                }

                const auto scaled = (maximum - minimum) * v;
                return minimum == 0.0f ? scaled : scaled + minimum;
            }
            case inverted:
                return 1.0f - v;
            case steps:
                return (float) (wide ? (int) ((double) maximum * v) : (int) (maximum * v));
            case exactlyOne:
                return v == 1.0f ? 1.0f : 0.0f;
            case nonZero:
                return v != 0.0f ? 1.0f : 0.0f;
        }

        return 0.0f;
    }

    /** The normalised value of a DSP value. Worked out in double precision, which for a float value
        gives the float result, and for a control's double value no rounding of its own.
    */
    constexpr float toNormalised (double value) const noexcept
    {
        switch (scaling)
        {
            case linear:
                return (float) ((value - minimum) / ((double) maximum - minimum));
            case inverted:
                return (float) (1.0 - value);
            case steps:
                return (float) (value / maximum);
            case exactlyOne:
            case nonZero:
                return value != 0.0 ? 1.0f : 0.0f;
        }

        return 0.0f;
    }

    constexpr float getDefaultNormalised() const noexcept { return toNormalised (defaultValue); }

    /** The parameters by index (ProcessingChain::Parameter). */
    static const ProcessorParameter table[];
    static const int count;
};

inline constexpr ProcessorParameter ProcessorParameter::table[] {
    // name, state key, scaling, minimum, maximum, default, wide, announces
    { "Click/Crackle Detection", "clickcrackleParam", linear, 0.0f, 1.0f, 0.0f, false, true },
    { "Enhance", "enhanceParam", linear, 0.0f, 1.0f, 0.0f, false, true },
    { "Tuner-Broadband NR", "thresholdParam", linear, -20.0f, 20.0f, 3.0f, true, true }, // dB
    { "Amount-Broadband NR", "reductionParam", linear, 0.0f, 30.0f, 15.0f, true, true }, // dB
    { "Preserve Voice", "preserveVoiceParam", exactlyOne, 0.0f, 1.0f, 0.0f, false, true },
    { "Remove Rumble", "removeRumbleParam", exactlyOne, 0.0f, 1.0f, 0.0f, false, true },
    { "Hum Removal", "humModeParam", steps, 0.0f, 2.0f, 2.0f, true, true }, // 50 Hz, 60 Hz, off
    { "Noise Reduction Mode", "modeParam", steps, 0.0f, 2.0f, 0.0f, true, true }, // off, on, noise only
    { "Boost Volume", "boostParam", linear, 0.0f, -40.0f, 0.0f, false, true }, // threshold, dB
    { "Declipper", "declipParam", nonZero, 0.0f, 1.0f, 0.0f, false, true },
    { "Track", "trackParam", nonZero, 0.0f, 1.0f, 0.0f, false, true },
    { "Bypass", "bypassParam", nonZero, 0.0f, 1.0f, 0.0f, false, true },
    { "Num Hum Harmonics", nullptr, steps, 0.0f, 14.0f, 3.0f, false, true }, // notches
    { "Rumble Freq", nullptr, linear, 0.0f, 140.0f, 100.0f, true, true }, // Hz
    { "Low Pass Freq", nullptr, linear, 0.0f, 18000.0f, 8000.0f, true, true }, // Hz
    { "Broadband Limit Low", nullptr, linear, 0.0f, 384000.0f, 22050.0f, false, false }, // Hz
    { "Broadband Limit High", nullptr, linear, 0.0f, 384000.0f, 0.0f, false, false }, // Hz
    { "Enhance Preset", nullptr, steps, 0.0f, 6.0f, 0.0f, false, true },
    { "DExp Threshold", nullptr, inverted, 1.0f, 0.0f, 0.15f, false, true }, // threshold, linear gain
    { "DExp Amount", nullptr, linear, 1.0f, 4.0f, 1.0f, false, true }, // ratio below the threshold
};

inline constexpr int ProcessorParameter::count = (int) std::size (table);
