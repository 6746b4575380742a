#pragma once

#include <juce_core/juce_core.h>

/** The program's private folder for its temporary files ("temp_<hex>.TempCleanAudio.m4a" and the like).

    It lies inside the system's temporary directory ($TMPDIR, else /tmp), is owned by this user and has mode
    0700, so no other user can read the media written there or slip files into it. It is made again whenever
    it is missing when asked for (a temp cleaner may remove it while the program runs). The removal of stale
    files touches this folder only, never other programs' files in a shared /tmp.
*/
class TemporaryFiles
{
public:
    /** The folder for this user, made when it is missing; an empty File when none can be made. */
    static juce::File getFolder();

    /** A folder inside parent that only this user can use: parent/name when it is (or can be made) a real
        folder owned by this user, else a fresh parent/name-XXXXXX. Its mode is set to 0700. An empty File
        when neither can be made.
    */
    static juce::File makePrivateFolder (const juce::File& parent, const juce::String& name);

    /** Deletes the plain files directly inside folder whose names match "*.m4a" (not folders, nothing in
        sub-folders); files that cannot be deleted are skipped. Returns the number deleted.
    */
    static int deleteStaleAudioFiles (const juce::File& folder);

    /** At start, when no other run of the program can be using them: deletes every temporary file the
        program makes in folder ("temp_" names) and the partial saves it left there. Returns the number deleted.
    */
    static int deleteStaleTemporaries (const juce::File& folder);

    /** Remembers a copy made for sharing, to be deleted at quit. */
    static void addShareCopy (const juce::File& file);

    /** Deletes the share copies made since start. Returns the number deleted. */
    static int deleteShareCopies();
};
