// Opens a media file and saves a processed copy the way the application does, without a window: the
// player opens the file, extracts and analyses its sound, then the save runs in one of the nine formats with
// the given settings. Prints how long each step took, and the processor time it took.
//
//   SaveMedia input output --format N [--set INDEX=VALUE]... [--learn START LENGTH]
//
// --set gives a processor parameter its normalised value (0..1); --learn teaches the noise profile from
// START seconds for LENGTH seconds of the opened sound before the save. Exits with 1 and the error text
// when a step fails, with 2 on a wrong command line.

#include "AnalysisPass.h"
#include "MediaSession.h"
#include "ProcessingChain.h"
#include "SaveFormat.h"
#include "TavSessionProcessor.h"

#include "media/FFmpegAudioFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

namespace
{
int usage()
{
    std::fprintf (stderr, "usage: SaveMedia input output --format N [--set INDEX=VALUE]... [--learn START LENGTH]\n");
    return 2;
}

int fail (const juce::String& text)
{
    std::fprintf (stderr, "SaveMedia: %s\n", text.toRawUTF8());
    return 1;
}

/** The application's answers for a run without a window: its own chain, formats, session, analysis pass and
    folder; the pass analyses what the session extracts, as the application's document does.
*/
class HeadlessHost : public SessionHost, public SessionListener
{
public:
    HeadlessHost()
        : temp (juce::File::getSpecialLocation (juce::File::tempDirectory)
                    .getChildFile ("SaveMedia-" + juce::String::toHexString (juce::Random().nextInt64())))
    {
        temp.createDirectory();
        temp.setExecutePermission (true);
        tavlin::media::FFmpegAudioFormat::registerFormats (formats);
        session.addListener (this);
    }

    ~HeadlessHost() override
    {
        session.removeListener (this);
        session.close();
        temp.deleteRecursively();
    }

    juce::AudioFormatManager* getFormatManager() override { return &formats; }
    juce::AudioDeviceManager* getDeviceManager() override { return nullptr; }
    tavlin::media::MediaPlayer::Output getPlayerOutput() override { return tavlin::media::MediaPlayer::Output::manual; }
    juce::File getTemporaryFolder() override { return temp; }
    bool isLooping() override { return false; }
    bool isIdle() const override { return !busy; }
    void showProgress (const juce::String&) override { busy = true; }
    void setProgress (double) override {}
    void hideProgress() override { busy = false; }

    void showWarning (const juce::String& title, const juce::String& message) override
    {
        warnings.add (title + ": " + message);
    }

    bool askOkCancel (const juce::String& title, const juce::String& message) override
    {
        warnings.add (title + ": " + message);
        return false;
    }

    bool isDocumentChanged() override { return false; }
    void setDocumentChanged (bool) override {}

    void waveformReady (const juce::File& file) override
    {
        extracted = file;
        analysis.clearResults();

        if (analysis.findNoise (file))
            analysis.learnFromRegion (file);

        analyzed = true;
    }

    void preparationFailed (const juce::File&, const juce::String& reason, bool) override
    {
        warnings.add ("Not ready: " + reason);
    }

    ProcessingChain chain;
    TavSessionProcessor sessionProcessor { chain };
    juce::AudioFormatManager formats;
    juce::File temp;
    MediaSession session { *this, sessionProcessor };
    AnalysisPass analysis { chain, *this };
    juce::File extracted;
    bool busy = false, analyzed = false;
    juce::StringArray warnings;
};

/** The engine's log lines stay out of the step times. */
class QuietLogger : public juce::Logger
{
    void logMessage (const juce::String&) override {}
};

/** Runs the message loop until a condition holds; false when it never did within the limit. */
bool pumpUntil (const std::function<bool()>& done, double limitSeconds)
{
    const auto until = juce::Time::getMillisecondCounterHiRes() + limitSeconds * 1000.0;

    while (!done())
    {
        if (juce::Time::getMillisecondCounterHiRes() > until)
            return false;

        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    return true;
}

/** Prints each step's time and the processor time that all the program's threads spent in it. */
class StepClock
{
public:
    void print (const char* step)
    {
        const auto now = juce::Time::getMillisecondCounterHiRes();
        const auto cpu = processorSeconds();
        std::printf ("%-8s %9.3f s %9.3f s\n", step, (now - last) / 1000.0, cpu - lastCpu);
        std::fflush (stdout);
        last = now;
        lastCpu = cpu;
    }

private:
    static double processorSeconds()
    {
        rusage usage {};
        getrusage (RUSAGE_SELF, &usage);
        const auto seconds = [] (const timeval& t) { return (double) t.tv_sec + (double) t.tv_usec / 1.0e6; };
        return seconds (usage.ru_utime) + seconds (usage.ru_stime);
    }

    double last = juce::Time::getMillisecondCounterHiRes();
    double lastCpu = processorSeconds();
};

/** Reads a whole command-line word as a whole number; false for anything else. */
bool readInteger (const juce::String& word, int& value)
{
    const auto digits = word.startsWithChar ('-') ? word.substring (1) : word;

    if (digits.isEmpty() || digits.length() > 9 || !digits.containsOnly ("0123456789"))
        return false;

    value = word.getIntValue();
    return true;
}

/** Reads a whole command-line word as a number; false for anything else. */
bool readNumber (const juce::String& word, double& value)
{
    const auto text = word.toStdString();
    char* end = nullptr;
    value = std::strtod (text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite (value);
}

int run (const juce::StringArray& args)
{
    if (args.size() < 4)
        return usage();

    const juce::File input (juce::File::getCurrentWorkingDirectory().getChildFile (args[0]));
    const juce::File output (juce::File::getCurrentWorkingDirectory().getChildFile (args[1]));
    int format = -1;
    juce::Array<std::pair<int, float>> settings;
    double learnStart = -1.0, learnLength = 0.0;

    for (int i = 2; i < args.size(); ++i)
    {
        if (args[i] == "--format" && i + 1 < args.size())
        {
            if (!readInteger (args[++i], format))
                return usage();
        }
        else if (args[i] == "--set" && i + 1 < args.size() && args[i + 1].contains ("="))
        {
            const auto& setting = args[++i];
            int index = -1;
            double value = 0.0;

            if (!readInteger (setting.upToFirstOccurrenceOf ("=", false, false), index)
                || !readNumber (setting.fromFirstOccurrenceOf ("=", false, false), value))
                return usage();

            settings.add ({ index, (float) value });
        }
        else if (args[i] == "--learn" && i + 2 < args.size())
        {
            if (!readNumber (args[i + 1], learnStart) || !readNumber (args[i + 2], learnLength) || learnStart < 0.0
                || learnLength <= 0.0)
                return usage();

            i += 2;
        }
        else
            return usage();
    }

    if (SaveFormat::find (format) == nullptr)
        return usage();

    HeadlessHost host;

    for (const auto& [index, value] : settings)
    {
        if (index < 0 || index >= ProcessingChain::numParameters || value < 0.0f || value > 1.0f)
            return fail ("there is no parameter " + juce::String (index) + " taking " + juce::String (value) + ".");

        host.chain.setParameter (index, value);
    }

    StepClock clock;

    if (host.session.open (input, true).failed())
        return fail ("\"" + input.getFullPathName() + "\" could not be opened. " + host.warnings.joinIntoString (" "));

    if (!pumpUntil ([&] { return host.analyzed && host.isIdle(); }, 3600.0))
        return fail ("the sound of \"" + input.getFileName() + "\" was never extracted. "
                     + host.warnings.joinIntoString (" "));

    clock.print ("open");
    auto& player = host.session.getPlayer();

    if (learnStart >= 0.0)
    {
        const auto rate = ProcessingAVPlayer::assetSampleRate (*player.getOrigAsset());
        const auto* sound = player.getOrigAsset()->getFirstTrack (tavlin::media::MediaType::audio);
        const auto soundSeconds = sound != nullptr ? sound->duration.seconds() : 0.0;

        // Learning past the end would learn the silence there as the noise.
        if (learnStart + learnLength > soundSeconds)
            return fail ("the learn region (" + juce::String (learnStart) + " s for " + juce::String (learnLength)
                         + " s) does not lie within the sound, which is " + juce::String (soundSeconds, 3)
                         + " s long.");

        host.chain.getLearnRegion() = { (int64_t) (learnStart * rate), (int64_t) (learnLength * rate) };
        host.analysis.learnFromRegion (host.extracted);
        clock.print ("learn");
    }

    // The save waits until the player has been still for a while; that wait is no part of the work.
    const auto settled = player.getLastPlayStopTime() + juce::RelativeTime::seconds (5.0);
    pumpUntil ([&] { return juce::Time::getCurrentTime() >= settled; }, 10.0);
    clock.print ("settle");

    auto saved = host.session.save (output, format, 9);

    if (saved.wasOk() && !ProcessingAVPlayer::waitForAudioWriters (-1))
        saved = juce::Result::fail ("the writer never ended.");

    clock.print ("save");

    // How a WAV or AIFF writing ended reaches the host through the message loop.
    juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

    if (saved.failed() || !host.warnings.isEmpty())
        return fail ((saved.failed() ? saved.getErrorMessage() : juce::String()) + " "
                     + host.warnings.joinIntoString (" "));

    host.session.close();
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    QuietLogger quiet;
    juce::Logger::setCurrentLogger (&quiet);
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    const int result = run (args);
    juce::Logger::setCurrentLogger (nullptr);
    return result;
}
