#include "SoundExtractor.h"

#include "MediaImporter.h"

#include "media/MediaExportSession.h"

#include <atomic>

using namespace tavlin::media;

SoundExtractor::SoundExtractor (SessionHost& hostToUse) : host (hostToUse) {}

SoundExtractor::~SoundExtractor() = default;

SoundExtractor::Outcome SoundExtractor::extract (const MediaComposition& composition, const juce::File& source,
                                                 const std::function<void (const juce::File&)>& writingTo,
                                                 const std::function<bool()>& stillWanted)
{
    Outcome outcome;
    const bool hasVideo = composition.hasTracksWithMediaType (MediaType::video);
    host.showProgress ("Loading...");

    auto session = MediaExportSession::create (composition, hasVideo ? MediaExportSession::presetAppleM4A
                                                                     : MediaExportSession::presetPassthrough);
    const auto out = MediaImporter::makeTemporaryFile (host, hasVideo ? videoEnding : audioEnding);

    if (session == nullptr || out == juce::File())
    {
        host.hideProgress();
        outcome.error = out == juce::File() ? "No temporary file can be made for its sound."
                                            : juce::String ("Its sound cannot be extracted.");
        return outcome;
    }

    session->setOutputFile (out);
    session->setOutputFileType (hasVideo ? MediaFileType::appleM4A : MediaFileType::wave);
    outcome.file = out;

    if (writingTo != nullptr)
        writingTo (out);

    auto done = std::make_shared<std::atomic<bool>> (false);
    auto* running = session.get();
    session->exportAsynchronously (
        [running, done]
        {
            const auto status = running->getStatusNumber();

            if (status == (int) MediaExportSession::Status::completed)
                juce::Logger::writeToLog ("AVAssetExportSessionStatusCompleted");
            else if (status == (int) MediaExportSession::Status::failed)
                juce::Logger::writeToLog ("AVAssetExportSessionStatusFailed");
            else
                juce::Logger::writeToLog ("Export Session Status: " + juce::String (status));

            done->store (true);
        });

    juce::WeakReference<SoundExtractor> self (this);
    auto* messages = juce::MessageManager::getInstance();
    messages->runDispatchLoopUntil (100);
    auto lastProgress = juce::Time::getMillisecondCounter();

    while (!done->load())
    {
        messages->runDispatchLoopUntil (1);

        if (self == nullptr)
            break;

        if (juce::Time::getMillisecondCounter() - lastProgress >= 100)
        {
            lastProgress = juce::Time::getMillisecondCounter();
            host.setProgress (running->getProgress());
        }
    }

    session->waitUntilFinished();

    if (self == nullptr)
    {
        out.deleteFile();
        outcome.status = Outcome::Status::abandoned;
        return outcome;
    }

    host.hideProgress();

    // The media went while the sound was written: what was written is nobody's now.
    if (stillWanted != nullptr && !stillWanted())
    {
        out.deleteFile();
        outcome.status = Outcome::Status::abandoned;
        return outcome;
    }

    if (session->getStatus() == MediaExportSession::Status::failed
        && !MediaImporter::importWithAudioFormatReader (host, source, out))
    {
        // Nothing stands at out: the waveform, the analysis and a batch waiting for them learn why.
        outcome.error = "Its sound could not be extracted: " + session->getError();
        return outcome;
    }

    outcome.status = Outcome::Status::extracted;
    return outcome;
}
