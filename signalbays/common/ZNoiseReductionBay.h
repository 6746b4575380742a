#pragma once

#include "ZBuffer.h"
#include "ZBufferSizeConverter.h"
#include "ZFourierTransform.h"
#include "ZGain.h"
#include "ZParametricFilter.h"
#include "ZSignalWindow.h"
#include "ZSpectralCompressor.h"
#include "ZWindowedOverlapAdd.h"

#include <juce_data_structures/juce_data_structures.h>
#include <juce_events/juce_events.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace vesk
{

/** The chain for broadband noise, hum and rumble.

    Per channel: up to 14 narrow peaking notches at a hum fundamental and its harmonics, a spectral gate
    driven by a learned noise profile and working on 1024-sample frames (four 75 % overlapping segments),
    a voice-preserving low-pass and a rumble high-pass. Blocks of any size are regrouped into frames by
    block-size converters; the output is the input delayed by getLatency() samples (1536 for block sizes
    that are multiples of 256).

    Modes: 0 noise reduction off, 1 on, 2 only what the gate removes. While a noise profile is learned the
    input passes unchanged, with the same latency, and the power spectra of its frames are summed.

    Sends "Noise Profile" when profiles are installed and "Mode" when learning has ended, through its own
    broadcaster; "Spectrum Update" after every block while the display is active and "Noise Profile Update" after every rebuild of the
    display profile, through the broadcaster of the "mSpectrum" buffer.

    Parameters are set on the message thread and read by process() on the audio thread without locks.
*/
class ZNoiseReductionBay : public juce::ActionBroadcaster
{
public:
    static constexpr int maxChannels = 8;
    static constexpr int frameLength = 1024;
    static constexpr int binCount = frameLength / 2 + 1;
    static constexpr int maxHumHarmonics = 14;
    static constexpr int segmentCount = 4;

    /** The name is ignored; throws vj_dsp_exception for a channel count outside 1 to 8. */
    ZNoiseReductionBay (const char* name, int channels);
    ~ZNoiseReductionBay() override;

    ZNoiseReductionBay (const ZNoiseReductionBay&) = delete;
    ZNoiseReductionBay& operator= (const ZNoiseReductionBay&) = delete;

    /** Sample rate in Hz for the filters and gates; a rate that is not above 0 is ignored. */
    virtual void setSampleRate (float sampleRate);

    /** New, primed converters for blocks of n samples (n >= 1); updates the latency. */
    virtual void setBlockSize (int n);

    /** Default tuner, reduction, ramps, filter switches, hum mode, mode and learning, applied to the gates,
        and every noise profile at -48 dB.
    */
    virtual void resetToDefaults();

    /** Creates whatever does not exist yet, clears the display spectrum, sets the latency and resets. */
    virtual bool prepare();

    /** Clears every filter, gate, overlap-add and converter and primes the input converters. */
    virtual void reset();

    /** Processes count samples of each channel's input into its output. Every output sample is written;
        with count equal to the block size the output is the input delayed by exactly getLatency().
    */
    virtual void process (ZBuffer** in, ZBuffer** out, int count);

    /** process() in three steps, so that the channels of one block may run on threads of their own:
        beginBlock latches the settings (false, with the outputs cleared, when there is nothing to do),
        processChannel runs one channel (channels in any order, each on one thread at a time), endBlock
        ends learning and updates the display once every channel has run.
    */
    bool beginBlock (ZBuffer** in, ZBuffer** out, int count);

    /** What beginBlock latches, taken apart: latchSettings reads the settings (in the order of the calls
        that bring the blocks), beginBlock (settings, ...) starts a block with them, later perhaps and on
        another thread. A block that ends learning (stop) must have ended before the next latch.
    */
    struct BlockSettings
    {
        int mode = 0, harmonics = 0;
        bool learning = false, stop = false, humOn = false, voice = false, rumble = false, display = false;
    };

    BlockSettings latchSettings();
    bool beginBlock (const BlockSettings& settings, ZBuffer** in, ZBuffer** out, int count);
    void processChannel (int c, ZBuffer* in, ZBuffer* out, int count);
    /** processChannel on every channel, on one thread: the same output, faster with two channels. */
    void processChannels (ZBuffer** in, ZBuffer** out, int count);
    void endBlock();

    /** While false the display spectrum is left as it is and nothing is computed for it alone (the
        forward transform of noise reduction off): for offline work with no display to show it.
    */
    void setDisplayActive (bool shouldUpdateDisplay) noexcept { displayActive.store (shouldUpdateDisplay); }
    bool isDisplayActive() const noexcept { return displayActive.load(); }

    int getLatency() const noexcept { return latency; }
    int getNumChannels() const noexcept { return channels; }

    /** Depth of every gate in dB; a value that is not finite is ignored. */
    void setReduction (float dB);
    float getReduction() const;

    /** Threshold offset of every gate in dB; a value that is not finite is ignored. */
    void setTuner (float dB);
    float getTuner() const;

    void setPreserveVoice (bool shouldPreserve);
    bool getPreserveVoice() const;
    void setRemoveRumble (bool shouldRemove);
    bool getRemoveRumble() const;

    /** Corner of the rumble high-pass in Hz; a value that is not above 0 or not finite is ignored. */
    void setRumbleFrequency (float hz);
    float getRumbleFrequency() const;

    /** Corner of the voice low-pass in Hz; a value that is not above 0 or not finite is ignored. */
    void setLowPassFrequency (float hz);
    float getLowPassFrequency() const;

    /** Upper frequency bound handed to every gate, Hz. */
    void setBroadbandLimitLow (float hz);
    /** Lower frequency bound handed to every gate, Hz. */
    void setBroadbandLimitHigh (float hz);
    float getBroadbandLimitLow() const;
    float getBroadbandLimitHigh() const;

    /** 0 = 50 Hz, 1 = 60 Hz, 2 = hum removal off; other values are limited to 0..2. */
    void setHumMode (int m);
    int getHumMode() const;

    /** Sets all 14 notches of every channel at the harmonics of base (Hz). */
    void setHumFrequency (float base);

    /** Number of notches in use, limited to 0..14. */
    void setNumHumHarmonics (int n);
    int getNumHumHarmonics() const noexcept { return humHarmonics.load (std::memory_order_relaxed); }

    /** 0 = off, 1 = on, 2 = noise only; other values are limited to 0..2. */
    void setMode (int m);
    int getMode() const;

    /** 1 while a noise profile is being learned. */
    int isLearning() const;

    void setTrack (bool shouldTrack);
    bool getTrack() const;
    void setLevelFloorDb (float dB);
    void setLevelRangeDb (float dB);
    void setLevelAttack (float seconds);
    void setLevelRelease (float seconds);

    /** The channel's 513-bin profile in dB ("NoiseProfile<c>"), still owned by the bay; null for a channel
        out of range or before prepare().
    */
    ZBuffer* getChannelNoiseProfile (int channel);

    /** Hands the stored profiles to the gates and sends "Noise Profile"; bins that are not finite are
        set to -48 dB first.
    */
    void applyNoiseProfiles();

    /** Every profile := -48 dB, then applyNoiseProfiles(). */
    void clearNoiseProfiles();

    /** The display spectrum "mSpectrum" and the display noise profile "mNoiseProfile", 513 bins in dB. */
    ZBuffer* getSpectrumBuffer() noexcept { return spectrum.get(); }
    ZBuffer* getNoiseProfileBuffer() noexcept { return noiseProfileDisplay.get(); }

    /** Starts summing the frames' power spectra from zero; the input passes unchanged meanwhile. */
    void startLearning();

    /** Asks the audio thread to finish learning at its next block that completes a frame. */
    void stopLearning();

    /** Frames summed so far into the channel's learning sum. */
    uint32_t getLearningFrameCount (int channel) const noexcept;

    /** 2048 divided by the sum of the 1024-point Hamming learning window. */
    float getSpectrumGain() const noexcept { return spectrumGain; }

    /** Zero samples an input converter is primed with for blocks of n samples: 768 when n is a multiple
        of 256, else 1024 - gcd (n, 1024), so that every block finds a whole block of output.
    */
    static int primingFor (int blockSize) noexcept;

private:
    void createChannel (int c);
    void primeConverters (int c);
    void rebuildNoiseProfileDisplay();
    void applyGateRamps();
    void applyVoiceFilter();
    void applyRumbleFilter();
    void updateLatency();

    /** What one channel works in, so that the channels can run at the same time. */
    struct ChannelWork
    {
        std::unique_ptr<ZFourierTransform> forward, inverse;
        std::unique_ptr<ZBuffer> frame, spectrumRe, spectrumIm, filterScratch;
        // The gated spectrum of the segment before, waiting to go back with the next one in one transform.
        std::unique_ptr<ZBuffer> heldRe, heldIm;
        // Segment 0 spectra of this block's frames, added to the display in channel order at its end.
        std::vector<std::unique_ptr<ZBuffer>> displayRe, displayIm;
        int displayFrames = 0;
        bool displayed = false, learned = false;
    };

    void createWork (int c);
    void runHumFilters (int c, ZBuffer* buffer);
    void runOutputFilters (int c, ZBuffer* buffer);
    void keepForDisplay (ChannelWork& w);
    /** humFilters false: the frame has been through the hum notches already. */
    void processFrameOff (int c, bool humFilters = true);
    void processFrameGated (int c, bool noiseOnly, bool humFilters = true);
    void processLearningFrame (int c);
    void finishLearning();
    void readOutput (int c, ZBuffer* destination, int count);

    int readInt (const juce::Value& v) const { return (int) v.getValue(); }
    float readFloat (const juce::Value& v) const { return (float) v.getValue(); }

    using ChannelFilters = std::array<std::unique_ptr<ZParametricFilter>, maxChannels>;

    std::atomic<int> humHarmonics { 3 };
    std::unique_ptr<ZGain> kernels;
    std::array<std::unique_ptr<ZWindowedOverlapAdd>, maxChannels> overlapAdd;
    std::array<std::unique_ptr<ZSpectralCompressor>, maxChannels> gates;
    std::unique_ptr<ZSignalWindow> learningWindow;
    ChannelFilters rumbleFilters, voiceFilters;
    std::array<std::array<std::unique_ptr<ZParametricFilter>, maxHumHarmonics>, maxChannels> humFilters;
    std::array<std::unique_ptr<ZBufferSizeConverter>, maxChannels> inputConverters, outputConverters;

    std::unique_ptr<juce::Value> tuner, reduction, attackRamp, releaseRamp, preserveVoice, lowPassFrequency,
        removeRumble, rumbleFrequency, humMode, mode, learning, appliedMode, broadbandLimitLow, broadbandLimitHigh;

    std::array<std::unique_ptr<ZBuffer>, maxChannels> noiseProfiles;
    std::unique_ptr<ZBuffer> spectrum, noiseProfileDisplay;
    int channels = 0;
    std::array<uint32_t, maxChannels> learningFrameCounts {};
    float spectrumGain = 1.0f;
    std::unique_ptr<ZBuffer> displayAccumulator, profileDisplayWork;
    std::array<ChannelWork, maxChannels> work;
    std::array<std::unique_ptr<ZBuffer>, maxChannels> learningSums;
    float sampleRate = 44100.0f;
    int blockSize = 512;
    int latency = 0;
    std::atomic<bool> stopRequest { false };
    std::atomic<bool> displayActive { true };
    bool prepared = false;

    // Settings latched at the start of each block.
    bool blockHumOn = false, blockVoice = false, blockRumble = false, blockDisplay = true;
    bool blockLearning = false, blockStop = false;
    int blockMode = 0, blockHarmonics = 0;

    const juce::String noiseProfileMessage { "Noise Profile" }, modeMessage { "Mode" },
        spectrumUpdateMessage { "Spectrum Update" }, noiseProfileUpdateMessage { "Noise Profile Update" };
};

} // namespace vesk
